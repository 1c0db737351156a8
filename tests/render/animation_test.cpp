// Tests of the time-lapse outputs: walkers-render's --animate and --frames against its own still
// pictures, lossy fidelity, repeatability and failures; frame timing and the raw frame layout.
#include "tools/animation.hpp"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <png.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <webp/mux.h>

#include <cmath>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "tests/support/open_files.hpp"
#include "tests/support/shell.hpp"
#include "tests/support/temporary_kinds.hpp"
#include "tests/support/webp_frames.hpp"

namespace walkers::render {
namespace {

using Rgb = std::vector<std::uint8_t>;

// Peak signal-to-noise ratio of `lossy` against `exact` (8-bit RGB), in dB: over the three
// components, or over luma alone (BT.601 weights).
double psnr(const Rgb& exact, const Rgb& lossy, bool luma) {
  double squares = 0;
  for (std::size_t i = 0; i < exact.size(); i += 3) {
    if (luma) {
      const double difference = 0.299 * (exact[i] - lossy[i]) +
                                0.587 * (exact[i + 1] - lossy[i + 1]) +
                                0.114 * (exact[i + 2] - lossy[i + 2]);
      squares += 3 * difference * difference;
    } else {
      for (std::size_t c = i; c < i + 3; ++c)
        squares += (exact[c] - lossy[c]) * (exact[c] - lossy[c]);
    }
  }
  if (squares == 0) return INFINITY;
  return 10 * std::log10(255.0 * 255.0 * static_cast<double>(exact.size()) / squares);
}

TEST(FrameClock, TakesAFrameEveryNTicksAndAlwaysTheLast) {
  const FrameClock ragged(210, 40);
  EXPECT_EQ(ragged.count(), 6u);
  EXPECT_EQ(ragged.tickOf(4), 200u);
  EXPECT_EQ(ragged.tickOf(5), 210u);
  EXPECT_EQ(FrameClock(200, 40).count(), 5u);
  EXPECT_EQ(FrameClock(7, 40).tickOf(0), 7u);
  EXPECT_EQ(FrameClock(0, 40).count(), 1u);  // the blank canvas
  const FrameClock huge(kMaxTicks, 1);
  EXPECT_EQ(huge.count(), kMaxTicks);
  EXPECT_EQ(huge.tickOf(kMaxTicks - 1), kMaxTicks);
}

// A raw frame larger than one piece arrives in several, each of whole rows, with black beyond the
// canvas's stored part (the renderer's own frames are checked against its pictures below).
TEST(RgbFrames, LargeFramesArriveInWholeRowsWithBlackBeyondTheStoredPart) {
  Rgb stream;
  std::vector<std::size_t> pieces;
  RgbFrames frames([&](std::span<const std::uint8_t> piece) {
    stream.insert(stream.end(), piece.begin(), piece.end());
    pieces.push_back(piece.size());
  });
  Canvas wide(1000, 700, 600);  // stores only 600x600 of it
  wide.PSet(599, 599, rgb(1, 2, 3));
  frames.add(wide);
  ASSERT_EQ(stream.size(), 1000u * 700 * 3);
  EXPECT_GT(pieces.size(), 1u);
  for (const std::size_t piece : pieces) EXPECT_EQ(piece % 3000, 0u);
  const std::size_t at = 3 * (599 * 1000 + 599);
  EXPECT_EQ(Rgb(stream.begin() + at, stream.begin() + at + 3), (Rgb{1, 2, 3}));
  EXPECT_EQ(std::count(stream.begin(), stream.end(), 0), static_cast<long>(stream.size() - 3));
}

#if !defined(__SANITIZE_ADDRESS__)
// Running out of memory while encoding is said in our words, naming the frame and the sizes.
TEST(WebpAnimationMemory, RunningOutWhileEncodingSaysSo) {
  const Canvas canvas(8000, 8000);
  WebpAnimation animation(8000, 8000, AnimationSettings{});
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line) && line.rfind("VmSize:", 0) != 0) {
  }
  ASSERT_FALSE(line.empty());
  rlimit saved{};
  ASSERT_EQ(::getrlimit(RLIMIT_AS, &saved), 0);
  rlimit tight = saved;
  // Room for the frame's picture (256 MB), not for encoding it.
  tight.rlim_cur = std::stoull(line.substr(7)) * 1024 + (300U << 20);
  ASSERT_EQ(::setrlimit(RLIMIT_AS, &tight), 0);
  std::string message;
  try {
    animation.add(canvas, {});
  } catch (const AnimationError& error) {
    message = error.what();
  }
  ::setrlimit(RLIMIT_AS, &saved);
  EXPECT_EQ(message,
            "not enough memory to encode frame 1 (8000x8000 pixels) of a 8000x8000 animation");
}
#endif

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

using walkers::testing::RunResult;
using walkers::testing::shell;

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
  // The encoder folds a frame identical to the one before into it, and keeps every other.
  std::size_t changes = 1;
  for (std::size_t k = 1; k < kFrames; ++k) changes += rawFrame(k) != rawFrame(k - 1);
  EXPECT_EQ(decoded.frames.size(), changes);
  const Rgb last = readPng(path("p.png"));
  EXPECT_TRUE(rawFrame(kFrames - 1) == last);
  EXPECT_TRUE(decoded.frames.back() == last);
  EXPECT_FALSE(rawFrame(kFrames - 2) == last);  // the last 10 ticks did paint something
}

// The chunks of a WebP file in order (their four-character names), after "RIFF", size, "WEBP".
std::vector<std::string> chunks(const std::vector<std::uint8_t>& file) {
  std::vector<std::string> names;
  for (std::size_t at = 12; at + 8 <= file.size();) {
    names.emplace_back(file.begin() + static_cast<std::ptrdiff_t>(at),
                       file.begin() + static_cast<std::ptrdiff_t>(at + 4));
    const std::size_t size = file[at + 4] | file[at + 5] << 8 | file[at + 6] << 16 |
                             static_cast<std::size_t>(file[at + 7]) << 24;
    at += 8 + size + (size & 1);
  }
  return names;
}

// --animate always writes an animation that loops, even of one frame or of frames that are all
// the same, and one libwebp's muxer accepts: its header says what its frames hold (a frame that
// blends over the one before has transparency, which the header must then declare).
TEST_F(TimeLapseTool, EveryAnimationLoopsAndIsValid) {
  for (const char* args : {"--ticks 0", "--ticks 5 --every 40", "--ticks 400 --every 40",
                           "--ticks 400 --every 40 --quality 50"}) {
    const RunResult run =
        render(std::string("--size 64x48 --seed 2 ") + args + " --animate " + path("a.webp"));
    ASSERT_EQ(run.status, 0) << run.err;
    const auto file = slurp(path("a.webp"));
    const auto names = chunks(file);
    ASSERT_GE(names.size(), 3u) << args;
    EXPECT_EQ(names[0], "VP8X") << args;
    EXPECT_EQ(names[1], "ANIM") << args;
    EXPECT_EQ(names[2], "ANMF") << args;
    const WebPData data{file.data(), file.size()};
    WebPMux* mux = WebPMuxCreate(&data, 0);
    EXPECT_NE(mux, nullptr) << args << ": refused by libwebp's muxer";
    WebPMuxDelete(mux);
    const auto decoded = testing::decodeWebp(file);
    ASSERT_EQ(decoded.width, 64) << args;
    EXPECT_EQ(decoded.loopCount, 0u) << args;
  }
  // A pattern that stopped long before the end: its frames are all alike after the first ones.
  ASSERT_EQ(render("--size 8x8 --seed 2 --ticks 4000 --animate " + path("s.webp")).status, 0);
  const auto still = testing::decodeWebp(slurp(path("s.webp")));
  ASSERT_EQ(still.width, 8);
  EXPECT_EQ(still.ends.back(), 100 * 40);
  EXPECT_EQ(chunks(slurp(path("s.webp")))[1], "ANIM");
}

// The same arguments give the same bytes. Lossy frames stay close to the exact ones (the raw
// frames of the same run), each closer to its own tick's canvas than to the one before, so they
// are not shifted in time; a lower quality gives a smaller file and frames further off.
//
// The floors were measured on this run: the worst frame (the last, the busiest) has a luma PSNR
// of 35.2 dB and an RGB PSNR of 19.3 dB at quality 75; quality 20 gives 28.1 dB of luma. The RGB
// figure stays low at any quality (a still of 10 s of pattern at 510x370 gives 18.2 dB even at
// quality 100): lossy WebP stores colour at half resolution, and the pattern is one-pixel lines
// of unrelated colours on black, so a line's colour is averaged with its black neighbours, while
// luma is kept at full resolution. Each floor leaves about 2 dB for other libwebp releases.
TEST_F(TimeLapseTool, LossyFramesStayCloseAndRepeatByteForByte) {
  constexpr double kLumaFloor = 33.0;
  constexpr double kRgbFloor = 17.0;
  const std::string args = "--size 160x120 --seed 5 --ticks 410 --every 20 --animate ";
  for (const std::string name : {"a", "b"}) {
    std::string lossy = args;
    lossy.append(path(name + ".webp")).append(" --frames ").append(path(name + ".rgb"));
    ASSERT_EQ(render(lossy.append(" --quality 75")).status, 0);
    std::string lossless = args;
    ASSERT_EQ(render(lossless.append(path(name + "-lossless.webp"))).status, 0);
  }
  const auto lossless = slurp(path("a-lossless.webp"));
  EXPECT_FALSE(lossless.empty());
  EXPECT_TRUE(lossless == slurp(path("b-lossless.webp")));
  const auto file = slurp(path("a.webp"));
  const auto raw = slurp(path("a.rgb"));
  EXPECT_TRUE(file == slurp(path("b.webp")));
  EXPECT_TRUE(raw == slurp(path("b.rgb")));

  const auto decoded = testing::decodeWebp(file);
  ASSERT_EQ(decoded.width, 160);
  constexpr std::size_t kFrameBytes = 3 * 160 * 120;
  ASSERT_EQ(raw.size(), 21 * kFrameBytes);
  EXPECT_EQ(decoded.ends.back(), 21 * 20);  // --frame-ms defaults to --every
  Rgb previous;
  for (std::size_t k = 0; k < 21; ++k) {
    const Rgb exact(raw.begin() + static_cast<std::ptrdiff_t>(k * kFrameBytes),
                    raw.begin() + static_cast<std::ptrdiff_t>((k + 1) * kFrameBytes));
    const Rgb* shown = decoded.at(static_cast<int>(k) * 20);
    ASSERT_NE(shown, nullptr);
    EXPECT_FALSE(*shown == exact) << "frame " << k << " is not lossy";
    const double luma = psnr(exact, *shown, true);
    EXPECT_GT(luma, kLumaFloor) << "frame " << k;
    EXPECT_GT(psnr(exact, *shown, false), kRgbFloor) << "frame " << k;
    if (!previous.empty()) {
      EXPECT_GT(luma, psnr(previous, *shown, true)) << "frame " << k;
    }
    previous = exact;
  }

  ASSERT_EQ(render(args + path("c.webp") + " --quality 20").status, 0);
  const auto smaller = slurp(path("c.webp"));
  EXPECT_LT(smaller.size(), file.size());
  const auto worse = testing::decodeWebp(smaller);
  ASSERT_EQ(worse.width, 160);
  EXPECT_LT(psnr(previous, worse.frames.back(), true), kLumaFloor);
}

TEST_F(TimeLapseTool, FramesGoToStandardOutputButNotToATerminal) {
  const RunResult piped = render("--size 20x10 --ticks 100 --seed 1 --frames -", path("out"));
  EXPECT_EQ(piped.status, 0) << piped.err;
  EXPECT_EQ(fs::file_size(path("out")), 3u * 20 * 10 * 3);

  const int terminal = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
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
      render("--size 16383x16383 --ticks 10000 --seed 1 --animate " + path("a.webp"), "/dev/null",
             "ulimit -v 2000000; ");
  EXPECT_EQ(memory.status, 1);
  EXPECT_EQ(memory.err.rfind("walkers-render: not enough memory for a 16383x16383 animation: it "
                             "needs up to 8.0 GiB, and ",
                             0),
            0u)
      << memory.err;
  EXPECT_EQ(std::count(memory.err.begin(), memory.err.end(), '\n'), 1) << memory.err;
  // What fits is not refused: a dense 1000x1000 animation takes about 30 MiB.
  const RunResult fits =
      render("--size 1000x1000 --ticks 60000 --seed 2389 --animate " + path("fits.webp"),
             "/dev/null", "ulimit -v 60000; ");
  EXPECT_EQ(fits.status, 0) << fits.err;
  fs::remove(path("fits.webp"));
#endif
  EXPECT_EQ(std::distance(fs::directory_iterator(dir_), fs::directory_iterator{}), 1);
}

// An interrupted run leaves none of its outputs, whole or partial.
TEST_F(TimeLapseTool, InterruptedRunLeavesNoFile) {
  test::forEachTemporaryKind([&](bool) {
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      ::execl(WALKERS_RENDER_PATH, "walkers-render", "--ticks", "100000000", "--seed", "1",
              "--every", "40", "--animate", path("a.webp").c_str(), "--frames",
              path("f.rgb").c_str(), "-o", path("p.png").c_str(), static_cast<char*>(nullptr));
      ::_exit(127);
    }
    // Wait until the outputs are pending, then end the run.
    int waited = 0;
    for (; waited < 10'000 && !test::writesInto(child, dir_); waited += 10) ::usleep(10'000);
    EXPECT_LT(waited, 10'000);
    ::usleep(200'000);
    ::kill(child, SIGTERM);
    int status = 0;
    ::waitpid(child, &status, 0);
    EXPECT_TRUE(WIFSIGNALED(status));
    EXPECT_TRUE(fs::is_empty(dir_));
  });
}

}  // namespace
}  // namespace walkers::render
