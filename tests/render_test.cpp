// Tests of walkers-render: option checking, reproducible output, and failures that leave no file.
#include <gtest/gtest.h>
#include <png.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "host/form.hpp"
#include "tools/render_options.hpp"

namespace walkers::render {
namespace {

namespace fs = std::filesystem;

struct RunResult {
  int status;
  std::string err;
};

// Runs the renderer with `args` (shell words), capturing stderr.
RunResult render(const std::string& args) {
  const std::string command = std::string(WALKERS_RENDER_PATH) + " " + args + " 2>&1 >/dev/null";
  FILE* pipe = ::popen(command.c_str(), "r");
  std::string err;
  char buffer[512];
  while (std::fgets(buffer, sizeof buffer, pipe)) err += buffer;
  const int status = ::pclose(pipe);
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, err};
}

std::string slurp(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream content;
  content << in.rdbuf();
  return content.str();
}

class RenderTool : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("walkers-render-test-" + std::to_string(::getpid()));
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }
  std::string path(const std::string& name) const { return (dir_ / name).string(); }
  fs::path dir_;
};

TEST(RenderOptions, AcceptOnlyWellFormedValuesInRange) {
  EXPECT_EQ(std::get<Size>(parseSize("1x1")).width, 1);
  EXPECT_EQ(std::get<Size>(parseSize("16384x3")).width, 16384);
  for (const char* bad : {"", "x", "510", "510x", "x370", "0x5", "5x0", "16385x1", "-5x5", "5x5x5",
                          " 5x5", "5X5", "+5x5", "99999999999999999999x1"}) {
    EXPECT_TRUE(std::holds_alternative<std::string>(parseSize(bad))) << bad;
  }
  EXPECT_EQ(std::get<std::uint64_t>(parseTicks("1000000000000")), 1'000'000'000'000ULL);
  EXPECT_EQ(std::get<std::uint64_t>(parseTicks("0")), 0u);
  for (const char* bad : {"", "-1", "1000000000001", "1e3", "12a", "0x10", " 7"}) {
    EXPECT_TRUE(std::holds_alternative<std::string>(parseTicks(bad))) << bad;
  }
  EXPECT_EQ(std::get<std::uint64_t>(parseSeed("18446744073709551615")), UINT64_MAX);
  for (const char* bad : {"", "-1", "18446744073709551616", "0x5", "seed"}) {
    EXPECT_TRUE(std::holds_alternative<std::string>(parseSeed(bad))) << bad;
  }
  EXPECT_EQ(std::get<std::string>(parseSize("0x5")),
            "bad --size \"0x5\": expected WxH with each side 1..16384, such as 510x370");
}

TEST_F(RenderTool, SameSeedGivesSameBytesAndClockSeedIsPrinted) {
  const RunResult first = render("--size 64x48 --ticks 500 -o " + path("a.png"));
  ASSERT_EQ(first.status, 0) << first.err;
  ASSERT_EQ(first.err.rfind("seed: ", 0), 0u) << first.err;
  const std::string seed = first.err.substr(6, first.err.find('\n') - 6);
  const RunResult second =
      render("--size 64x48 --ticks 500 --seed " + seed + " --output " + path("b.png"));
  ASSERT_EQ(second.status, 0) << second.err;
  EXPECT_EQ(second.err, "");
  EXPECT_EQ(slurp(path("a.png")), slurp(path("b.png")));
  EXPECT_EQ(std::distance(fs::directory_iterator(dir_), fs::directory_iterator{}), 2);
}

TEST_F(RenderTool, PictureHoldsTheCanvasColours) {
  ASSERT_EQ(render("--size 31x17 --ticks 300 --seed 99 -o " + path("p.png")).status, 0);
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  ASSERT_TRUE(png_image_begin_read_from_file(&image, path("p.png").c_str()));
  EXPECT_EQ(image.width, 31u);
  EXPECT_EQ(image.height, 17u);
  EXPECT_EQ(image.format, static_cast<png_uint_32>(PNG_FORMAT_RGB));
  std::vector<png_byte> rgbBytes(PNG_IMAGE_SIZE(image));
  ASSERT_TRUE(png_image_finish_read(&image, nullptr, rgbBytes.data(), 0, nullptr));

  Form form(31, 17, Random{std::uint64_t{99}});
  for (int t = 0; t < 300; ++t) form.t_Timer();
  const auto pixels = form.canvas().pixels();
  for (std::size_t p = 0; p < pixels.size(); ++p) {
    ASSERT_EQ(rgbBytes[3 * p], pixels[p] & 0xff) << p;
    ASSERT_EQ(rgbBytes[3 * p + 1], (pixels[p] >> 8) & 0xff) << p;
    ASSERT_EQ(rgbBytes[3 * p + 2], (pixels[p] >> 16) & 0xff) << p;
  }
}

TEST_F(RenderTool, BadInputIsOneLineWithStatusTwoAndWritesNothing) {
  const std::string out = " -o " + path("x.png");
  for (const std::string& args :
       {"--size 0x10" + out, "--size 510by370" + out, "--ticks -3" + out, "--ticks 1e6" + out,
        "--seed 18446744073709551616" + out, "--seed abc" + out, "--frobnicate" + out,
        std::string("--size 10x10")}) {
    const RunResult run = render(args);
    EXPECT_EQ(run.status, 2) << args;
    EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << args << ": " << run.err;
    EXPECT_EQ(run.err.rfind("walkers-render: ", 0), 0u) << run.err;
  }
  EXPECT_NE(render("--size 0x10" + out).err.find("0x10"), std::string::npos);
  EXPECT_TRUE(fs::is_empty(dir_));
}

TEST_F(RenderTool, UnwritableOutputNamesPathAndReasonWithStatusOne) {
  const RunResult missing = render("--ticks 5 -o " + path("no/such/dir/x.png"));
  EXPECT_EQ(missing.status, 1);
  EXPECT_EQ(missing.err, "walkers-render: cannot write " + path("no/such/dir/x.png") +
                             ": No such file or directory\n");
  EXPECT_EQ(render("--ticks 5 -o " + dir_.string()).status, 1);  // a directory
  EXPECT_TRUE(fs::is_empty(dir_));
}

TEST_F(RenderTool, InterruptedRenderLeavesNoFile) {
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    ::execl(WALKERS_RENDER_PATH, "walkers-render", "--ticks", "1000000000", "--seed", "1", "-o",
            path("slow.png").c_str(), static_cast<char*>(nullptr));
    ::_exit(127);
  }
  ::usleep(300'000);
  ::kill(child, SIGINT);
  int status = 0;
  ::waitpid(child, &status, 0);
  EXPECT_TRUE(WIFSIGNALED(status));
  EXPECT_TRUE(fs::is_empty(dir_));
}

}  // namespace
}  // namespace walkers::render
