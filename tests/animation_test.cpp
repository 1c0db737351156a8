// Tests of the time-lapse outputs: frame timing, exact lossless frames, lossy fidelity, raw RGB,
// and walkers-render's --animate and --frames against its own still pictures.
#include "tools/animation.hpp"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <png.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <sstream>
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
  return 10 * std::log10(255.0 * 255.0 * static_cast<double>(exact.size()) / 3 / squares);
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

namespace fs = std::filesystem;

std::vector<std::uint8_t> slurp(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

Rgb readPng(const fs::path& path) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&image, path.c_str())) return {};
  image.format = PNG_FORMAT_RGB;
  Rgb rgb(PNG_IMAGE_SIZE(image));
  if (!png_image_finish_read(&image, nullptr, rgb.data(), 0, nullptr)) return {};
  return rgb;
}

struct RunResult {
  int status;
  std::string err;
};

// Runs a shell command, capturing its standard output.
RunResult shell(const std::string& command) {
  FILE* pipe = ::popen(command.c_str(), "r");
  std::string out;
  char buffer[512];
  while (std::fgets(buffer, sizeof buffer, pipe)) out += buffer;
  const int status = ::pclose(pipe);
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, out};
}

// Runs walkers-render with `args` (shell words) and standard output to `out`, capturing standard
// error; `limits` (such as "ulimit -f 1; ") go before.
RunResult render(const std::string& args, const std::string& out = "/dev/null",
                 const std::string& limits = "") {
  return shell(limits + WALKERS_RENDER_PATH + " " + args + " 2>&1 >" + out);
}

class TimeLapseTool : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("walkers-animate-test-" + std::to_string(::getpid()));
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }
  std::string path(const std::string& name) const { return (dir_ / name).string(); }
  fs::path dir_;
};

// One run writes the animation, the raw frames and the PNG; frame k of each is pixel for pixel
// the PNG of a separate run of k * every ticks, and the last is the run's own PNG even though the
// tick count is not a multiple of --every.
TEST_F(TimeLapseTool, FramesAreTheStillPicturesAtTheirTicks) {
  constexpr int kWidth = 160;
  constexpr int kHeight = 120;
  const std::string common = "--size 160x120 --seed 5 ";
  const RunResult run =
      render(common + "--ticks 410 --every 20 --frame-ms 25 --animate " + path("a.webp") +
             " --frames " + path("f.rgb") + " -o " + path("p.png"));
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.err, "");
  constexpr std::size_t kFrames = 21;
  constexpr std::size_t kFrameBytes = 3 * kWidth * kHeight;
  const auto raw = slurp(path("f.rgb"));
  ASSERT_EQ(raw.size(), kFrames * kFrameBytes);
  const auto decoded = testing::decodeWebp(slurp(path("a.webp")));
  ASSERT_EQ(decoded.width, kWidth);
  ASSERT_EQ(decoded.height, kHeight);
  EXPECT_EQ(decoded.loopCount, 0u);
  EXPECT_EQ(decoded.ends.back(), static_cast<int>(kFrames) * 25);

  const auto rawFrame = [&](std::size_t k) {
    return Rgb(raw.begin() + static_cast<std::ptrdiff_t>(k * kFrameBytes),
               raw.begin() + static_cast<std::ptrdiff_t>((k + 1) * kFrameBytes));
  };
  for (const std::size_t k : {1, 2, 9, 15, 20}) {
    const std::string still = path("still" + std::to_string(k) + ".png");
    std::string args = common;
    args.append("--ticks ").append(std::to_string(20 * k)).append(" -o ").append(still);
    ASSERT_EQ(render(args).status, 0);
    const Rgb expected = readPng(still);
    ASSERT_EQ(expected.size(), kFrameBytes);
    EXPECT_TRUE(rawFrame(k - 1) == expected) << "raw frame " << k;
    const Rgb* shown = decoded.at(static_cast<int>(k - 1) * 25);
    ASSERT_NE(shown, nullptr);
    EXPECT_TRUE(*shown == expected) << "animation frame " << k;
  }
  const Rgb last = readPng(path("p.png"));
  EXPECT_TRUE(rawFrame(kFrames - 1) == last);
  EXPECT_TRUE(decoded.frames.back() == last);
  EXPECT_FALSE(rawFrame(kFrames - 2) == last);  // the last 10 ticks did paint something
}

TEST_F(TimeLapseTool, SameArgumentsGiveSameBytesAndLossyStaysClose) {
  const std::string args = "--size 90x70 --seed 8 --ticks 700 --every 35 --quality 75 --animate ";
  ASSERT_EQ(render(args + path("a.webp") + " --frames " + path("a.rgb")).status, 0);
  ASSERT_EQ(render(args + path("b.webp") + " --frames " + path("b.rgb")).status, 0);
  const auto file = slurp(path("a.webp"));
  EXPECT_TRUE(file == slurp(path("b.webp")));
  EXPECT_TRUE(slurp(path("a.rgb")) == slurp(path("b.rgb")));
  // --frame-ms defaults to --every; lossy frames stay close (see LossyFramesAreCloseToTheCanvas).
  const auto decoded = testing::decodeWebp(file);
  ASSERT_EQ(decoded.width, 90);
  EXPECT_EQ(decoded.ends.back(), 20 * 35);
  const auto raw = slurp(path("a.rgb"));
  const Rgb last(raw.end() - 3 * 90 * 70, raw.end());
  EXPECT_FALSE(decoded.frames.back() == last);
  EXPECT_GT(lumaPsnr(last, decoded.frames.back()), 32.0);
}

TEST_F(TimeLapseTool, FramesGoToStandardOutputButNotToATerminal) {
  const RunResult piped = render("--size 20x10 --ticks 100 --seed 1 --frames -", path("out"));
  EXPECT_EQ(piped.status, 0) << piped.err;
  EXPECT_EQ(fs::file_size(path("out")), 3u * 20 * 10 * 3);

  const int terminal = ::posix_openpt(O_RDWR | O_NOCTTY);
  ASSERT_GE(terminal, 0);
  ASSERT_EQ(::grantpt(terminal), 0);
  ASSERT_EQ(::unlockpt(terminal), 0);
  const std::string side = ::ptsname(terminal);
  const RunResult refused = render("--ticks 100 --frames -", side);
  ::close(terminal);
  EXPECT_EQ(refused.status, 2);
  EXPECT_EQ(std::count(refused.err.begin(), refused.err.end(), '\n'), 1) << refused.err;
  EXPECT_NE(refused.err.find("--frames"), std::string::npos) << refused.err;
}

// Each bad value gets status 2 and one line that names the option, and nothing is written.
TEST_F(TimeLapseTool, BadValuesAreRefusedBeforeAnythingIsWritten) {
  const std::string out = " --animate " + path("a.webp") + " --frames " + path("f.rgb");
  const std::pair<std::string, std::string> cases[] = {
      {"--every 0" + out, "--every"},
      {"--every -4" + out, "--every"},
      {"--every 1e3" + out, "--every"},
      {"--frame-ms 19" + out, "--frame-ms"},
      {"--frame-ms 60001" + out, "--frame-ms"},
      {"--quality 101" + out, "--quality"},
      {"--quality 7.5" + out, "--quality"},
      {"--quality 75 --frames " + path("f.rgb"), "--quality"},
      {"--frame-ms 40 -o " + path("p.png"), "--frame-ms"},
      {"--every 40 -o " + path("p.png"), "--every"},
      {"--size 16384x10" + out, "--size"},
      {"--ticks 1000000000000 --every 1 --animate " + path("a.webp"), "--every"},
      {"--seed 1", "--output"},
      {"--frames - --animate -", "standard output"},
      {"--animate " + path("x") + " -o " + path("x"), "--animate"},
  };
  for (const auto& [args, named] : cases) {
    const RunResult run = render(args);
    EXPECT_EQ(run.status, 2) << args << ": " << run.err;
    EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << args << ": " << run.err;
    EXPECT_NE(run.err.find(named), std::string::npos) << args << ": " << run.err;
  }
  EXPECT_TRUE(fs::is_empty(dir_));
}

// A failed output leaves the file it would have replaced as it was, and says why; so does an
// animation too large for memory.
TEST_F(TimeLapseTool, FailuresKeepOldFilesAndSayWhy) {
  std::ofstream(path("f.rgb")) << "old";
  const RunResult tooLarge =
      render("--ticks 2000 --seed 1 --frames " + path("f.rgb") + " --animate " + path("a.webp"),
             "/dev/null", "ulimit -f 100; ");
  EXPECT_EQ(tooLarge.status, 1);
  EXPECT_EQ(tooLarge.err, "walkers-render: cannot write " + path("f.rgb") + ": File too large\n");
  EXPECT_EQ(slurp(path("f.rgb")), (std::vector<std::uint8_t>{'o', 'l', 'd'}));
#if !defined(__SANITIZE_ADDRESS__)
  const RunResult memory =
      render("--size 16383x16383 --ticks 1 --seed 1 --animate " + path("a.webp"), "/dev/null",
             "ulimit -v 2000000; ");
  EXPECT_EQ(memory.status, 1);
  EXPECT_EQ(memory.err, "walkers-render: not enough memory for a 16383x16383 animation\n");
#endif
  EXPECT_EQ(std::distance(fs::directory_iterator(dir_), fs::directory_iterator{}), 1);
}

// An interrupted run leaves none of its outputs, whole or partial.
TEST_F(TimeLapseTool, InterruptedRunLeavesNoFile) {
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    ::execl(WALKERS_RENDER_PATH, "walkers-render", "--ticks", "100000000", "--seed", "1", "--every",
            "40", "--animate", path("a.webp").c_str(), "--frames", path("f.rgb").c_str(), "-o",
            path("p.png").c_str(), static_cast<char*>(nullptr));
    ::_exit(127);
  }
  // Wait until the outputs are pending, then end the run.
  for (int waited = 0; waited < 10'000 && fs::is_empty(dir_); waited += 10) ::usleep(10'000);
  EXPECT_FALSE(fs::is_empty(dir_));
  ::usleep(200'000);
  ::kill(child, SIGTERM);
  int status = 0;
  ::waitpid(child, &status, 0);
  EXPECT_TRUE(WIFSIGNALED(status));
  EXPECT_TRUE(fs::is_empty(dir_));
}

}  // namespace
}  // namespace walkers::render
