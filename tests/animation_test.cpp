// Tests of the time-lapse encoders: frame timing, exact lossless frames, lossy fidelity, raw RGB.
#include "tools/animation.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "host/form.hpp"
#include "tests/support/webp_frames.hpp"

namespace walkers::render {
namespace {

using Rgb = std::vector<std::uint8_t>;

Rgb rgbOf(const Canvas& canvas) {
  Rgb rgb(3 * static_cast<std::size_t>(canvas.width()) * canvas.height());
  for (int y = 0; y < canvas.height(); ++y) {
    toRgb(canvas.row(y), static_cast<std::size_t>(canvas.width()),
          rgb.data() + 3 * static_cast<std::size_t>(y) * canvas.width());
  }
  return rgb;
}

// A pattern grown for `ticks`, with a frame every `every` ticks fed to `add` and kept as RGB.
template <class Add>
std::vector<Rgb> grow(int width, int height, std::uint64_t seed, std::uint64_t ticks,
                      std::uint64_t every, Add add) {
  Form form(width, height, Random{seed});
  const FrameClock clock(ticks, every);
  std::vector<Rgb> shots;
  std::uint64_t done = 0;
  for (std::uint64_t frame = 0; frame < clock.count(); ++frame) {
    for (; done < clock.tickOf(frame); ++done) form.t_Timer();
    add(form.canvas());
    shots.push_back(rgbOf(form.canvas()));
  }
  return shots;
}

std::vector<std::uint8_t> encode(int width, int height, std::uint64_t seed, std::uint64_t ticks,
                                 std::uint64_t every, const AnimationSettings& settings,
                                 std::vector<Rgb>* shots = nullptr) {
  WebpAnimation animation(width, height, settings);
  auto taken =
      grow(width, height, seed, ticks, every, [&](const Canvas& canvas) { animation.add(canvas); });
  if (shots) *shots = std::move(taken);
  const WebpBytes file = animation.finish();
  return {file.bytes().begin(), file.bytes().end()};
}

double psnr(const Rgb& exact, const Rgb& lossy) {
  double squares = 0;
  for (std::size_t i = 0; i < exact.size(); ++i) {
    const double difference = static_cast<double>(exact[i]) - static_cast<double>(lossy[i]);
    squares += difference * difference;
  }
  if (squares == 0) return INFINITY;
  return 10 * std::log10(255.0 * 255.0 * static_cast<double>(exact.size()) / squares);
}

double lumaPsnr(const Rgb& exact, const Rgb& lossy) {
  double squares = 0;
  for (std::size_t i = 0; i < exact.size(); i += 3) {
    const double a = 0.299 * exact[i] + 0.587 * exact[i + 1] + 0.114 * exact[i + 2];
    const double b = 0.299 * lossy[i] + 0.587 * lossy[i + 1] + 0.114 * lossy[i + 2];
    squares += (a - b) * (a - b);
  }
  return 10 * std::log10(255.0 * 255.0 * static_cast<double>(exact.size() / 3) / squares);
}

TEST(FrameClock, TakesAFrameEveryNTicksAndAlwaysTheLast) {
  const FrameClock even(200, 40);
  EXPECT_EQ(even.count(), 5u);
  EXPECT_EQ(even.tickOf(0), 40u);
  EXPECT_EQ(even.tickOf(4), 200u);
  const FrameClock ragged(210, 40);
  EXPECT_EQ(ragged.count(), 6u);
  EXPECT_EQ(ragged.tickOf(4), 200u);
  EXPECT_EQ(ragged.tickOf(5), 210u);
  const FrameClock shortRun(7, 40);
  EXPECT_EQ(shortRun.count(), 1u);
  EXPECT_EQ(shortRun.tickOf(0), 7u);
  const FrameClock none(0, 40);
  EXPECT_EQ(none.count(), 1u);
  EXPECT_EQ(none.tickOf(0), 0u);
  const FrameClock huge(1'000'000'000'000ULL, 1);
  EXPECT_EQ(huge.count(), 1'000'000'000'000ULL);
  EXPECT_EQ(huge.tickOf(huge.count() - 1), 1'000'000'000'000ULL);
}

// Lossless frames decode to exactly the canvas at their tick, each on screen for frameMs from
// k * frameMs; frames identical to the one before may be merged into it by the encoder, so the
// check goes by time. Includes a last frame after a partial interval.
TEST(WebpAnimation, LosslessFramesAreTheCanvasAtTheirTicks) {
  constexpr int kWidth = 97;
  constexpr int kHeight = 61;
  AnimationSettings settings;
  settings.frameMs = 25;
  std::vector<Rgb> shots;
  const auto file = encode(kWidth, kHeight, 7, 2010, 40, settings, &shots);
  ASSERT_EQ(shots.size(), 51u);
  const auto decoded = testing::decodeWebp(file);
  ASSERT_EQ(decoded.width, kWidth);
  ASSERT_EQ(decoded.height, kHeight);
  EXPECT_EQ(decoded.loopCount, 0u);
  EXPECT_EQ(decoded.ends.back(), 51 * 25);
  // The encoder folds a frame identical to the one before into it, and keeps every other.
  std::size_t changes = 1;
  for (std::size_t k = 1; k < shots.size(); ++k) changes += shots[k] != shots[k - 1];
  EXPECT_EQ(decoded.frames.size(), changes);
  EXPECT_GT(changes, 10u);
  for (std::size_t k = 0; k < shots.size(); ++k) {
    const Rgb* frame = decoded.at(static_cast<int>(k) * 25);
    ASSERT_NE(frame, nullptr) << k;
    ASSERT_TRUE(*frame == shots[k]) << "frame " << k;
  }
}

TEST(WebpAnimation, SameFramesGiveSameBytes) {
  for (const std::optional<int> quality : {std::optional<int>{}, std::optional<int>{60}}) {
    AnimationSettings settings;
    settings.quality = quality;
    const auto first = encode(80, 50, 3, 1200, 40, settings);
    const auto second = encode(80, 50, 3, 1200, 40, settings);
    EXPECT_TRUE(first == second) << (quality ? "lossy" : "lossless");
    EXPECT_FALSE(first == encode(80, 50, 4, 1200, 40, settings));
  }
}

// Lossy frames stay close to the exact ones, frame by frame, and each is closer to its own tick's
// canvas than to the one before (so the frames are not shifted in time).
//
// The floors were measured here (200x150, seed 11, 2000 ticks; the same held at 510x370 over 10 s):
// at quality 75 the worst frame has a luma PSNR of 33.8 dB and an RGB PSNR of 17.6 dB. The RGB
// figure is low at every quality (a still of the canvas at quality 100 gives 18.2 dB): lossy WebP
// always stores colour at half resolution, and the pattern is one-pixel lines of unrelated colours
// on black, so each line's colour is averaged with its black neighbours; luma is kept at full
// resolution. The floors leave about 2 dB of room for other libwebp releases.
TEST(WebpAnimation, LossyFramesAreCloseToTheCanvas) {
  constexpr double kLumaFloor = 32.0;
  constexpr double kRgbFloor = 16.0;
  AnimationSettings settings;
  settings.quality = 75;
  std::vector<Rgb> shots;
  const auto file = encode(200, 150, 11, 2000, 40, settings, &shots);
  const auto decoded = testing::decodeWebp(file);
  ASSERT_EQ(decoded.width, 200);
  EXPECT_EQ(decoded.ends.back(), static_cast<int>(shots.size()) * settings.frameMs);
  for (std::size_t k = 0; k < shots.size(); ++k) {
    const Rgb* frame = decoded.at(static_cast<int>(k) * settings.frameMs);
    ASSERT_NE(frame, nullptr);
    const double own = lumaPsnr(shots[k], *frame);
    EXPECT_GT(own, kLumaFloor) << "frame " << k;
    EXPECT_GT(psnr(shots[k], *frame), kRgbFloor) << "frame " << k;
    if (k > 0 && shots[k] != shots[k - 1]) {
      EXPECT_GT(own, lumaPsnr(shots[k - 1], *frame)) << "frame " << k;
    }
  }

  // A lower quality gives a smaller file and frames further from the canvas.
  settings.quality = 20;
  const auto smaller = encode(200, 150, 11, 2000, 40, settings);
  EXPECT_LT(smaller.size(), file.size());
  const auto worse = testing::decodeWebp(smaller);
  ASSERT_EQ(worse.width, 200);
  EXPECT_LT(lumaPsnr(shots.back(), worse.frames.back()), kLumaFloor);
}

TEST(WebpAnimation, RefusesWhatTheFormatCannotHold) {
  AnimationSettings settings;
  EXPECT_THROW(WebpAnimation(kMaxWebpSide + 1, 10, settings), AnimationError);
  EXPECT_THROW(WebpAnimation(10, 0, settings), AnimationError);
  settings.frameMs = kMinFrameMs - 1;
  EXPECT_THROW(WebpAnimation(10, 10, settings), AnimationError);
  settings.frameMs = 40;
  settings.quality = 101;
  EXPECT_THROW(WebpAnimation(10, 10, settings), AnimationError);
  settings.quality = 50;
  WebpAnimation animation(10, 10, settings);
  EXPECT_THROW(animation.finish(), AnimationError);  // no frames
  EXPECT_THROW(animation.add(Canvas(11, 10)), AnimationError);
}

// Raw frames: width * height * 3 bytes each, exact, with black beyond the stored part.
TEST(RgbFrames, WritesEachFrameWholeAndExact) {
  Rgb stream;
  std::size_t pieces = 0;
  RgbFrames frames([&](std::span<const std::uint8_t> piece) {
    stream.insert(stream.end(), piece.begin(), piece.end());
    ++pieces;
  });
  const auto shots = grow(120, 90, 5, 1000, 300, [&](const Canvas& canvas) { frames.add(canvas); });
  ASSERT_EQ(shots.size(), 4u);
  EXPECT_EQ(pieces, 4u);
  Rgb expected;
  for (const Rgb& shot : shots) expected.insert(expected.end(), shot.begin(), shot.end());
  EXPECT_TRUE(stream == expected);

  // A frame larger than one piece arrives in several, rows whole.
  stream.clear();
  pieces = 0;
  Canvas wide(1000, 700, 600);  // stores only 600x600 of it
  wide.PSet(599, 599, rgb(1, 2, 3));
  wide.PSet(0, 0, rgb(200, 100, 50));
  frames.add(wide);
  EXPECT_EQ(stream.size(), 1000u * 700 * 3);
  EXPECT_GT(pieces, 1u);
  EXPECT_EQ(stream[0], 200);
  EXPECT_EQ(stream[2], 50);
  const std::size_t at = 3 * (599 * 1000 + 599);
  EXPECT_EQ(Rgb(stream.begin() + at, stream.begin() + at + 3), (Rgb{1, 2, 3}));
  EXPECT_EQ(std::count(stream.begin(), stream.end(), 0), static_cast<long>(stream.size() - 6));
}

}  // namespace
}  // namespace walkers::render
