// Tests of walkers-render: option checking, reproducible output, what each kind of output name
// gets, and failures and signals that leave no file behind.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/fs.h>
#include <png.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "common/option_text.hpp"
#include "engine/form.hpp"
#include "tests/support/eventually.hpp"
#include "tests/support/open_files.hpp"
#include "tests/support/shell.hpp"
#include "tests/support/temporary_kinds.hpp"
#include "tools/output_file.hpp"
#include "tools/png_file.hpp"
#include "tools/render_options.hpp"

// After this many successful renames the renderer's next one raises SIGTERM (0: never), so that a
// test can send a signal between two renames; and the rename numbered `failingRename` from now
// (1 for the next) fails with EIO (0: none), so that a test can make one fail after another.
namespace {
int signalAfterRenames = 0;
int failingRename = 0;

bool failThisRename() {
  if (failingRename == 0 || --failingRename > 0) return false;
  errno = EIO;
  return true;
}

int renameDone(long done) {
  if (done == 0 && signalAfterRenames > 0 && --signalAfterRenames == 0) ::raise(SIGTERM);
  return static_cast<int>(done);
}
}  // namespace

// NOLINTNEXTLINE(readability-inconsistent-declaration-parameter-name): libc names them oddly
extern "C" int renameat(int from, const char* old, int to, const char* name) {
  if (failThisRename()) return -1;
  return renameDone(::syscall(SYS_renameat, from, old, to, name));
}

// NOLINTNEXTLINE(readability-inconsistent-declaration-parameter-name): libc names them oddly
extern "C" int renameat2(int from, const char* old, int to, const char* name, unsigned flags) {
  if (failThisRename()) return -1;
  return renameDone(::syscall(SYS_renameat2, from, old, to, name, flags));
}

namespace walkers::render {
namespace {

namespace fs = std::filesystem;
using test::eventually;

using walkers::testing::RunResult;
using walkers::testing::shell;

constexpr const char* kRender = WALKERS_RENDER_PATH;

// Runs the renderer with `args` (shell words), capturing stderr.
RunResult render(const std::string& args) {
  return shell(std::string(kRender) + " " + args + " 2>&1 >/dev/null");
}

// Starts the renderer with the usual signal dispositions, except `ignored`, which it starts with
// ignored (as nohup does); its stdout goes to `out` and stderr to `err` if given, else stderr
// goes to /dev/null; `fileLimit` bytes, if given, is its file size limit. Descriptors the test
// opens are close-on-exec, so the renderer holds none but these.
pid_t launch(const std::vector<std::string>& args, int ignored = 0, int out = -1, int err = -1,
             rlim_t fileLimit = RLIM_INFINITY) {
  const pid_t child = ::fork();
  if (child != 0) return child;
  const rlimit limit{fileLimit, fileLimit};
  if (fileLimit != RLIM_INFINITY) ::setrlimit(RLIMIT_FSIZE, &limit);
  for (const int signal : {SIGHUP, SIGINT, SIGQUIT, SIGTERM, SIGUSR1, SIGALRM, SIGXCPU, SIGPIPE}) {
    std::signal(signal, SIG_DFL);
  }
  if (ignored != 0) std::signal(ignored, SIG_IGN);
  sigset_t none;
  sigemptyset(&none);
  ::sigprocmask(SIG_SETMASK, &none, nullptr);
  if (out >= 0) ::dup2(out, STDOUT_FILENO);
  ::dup2(err >= 0 ? err : ::open("/dev/null", O_WRONLY), STDERR_FILENO);
  std::vector<char*> argv{const_cast<char*>("walkers-render")};
  for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  ::execv(WALKERS_RENDER_PATH, argv.data());
  ::_exit(127);
}

// Reads `fd` (a pipe or terminal) for as long as `child` runs, so that it never blocks on a full
// one, then what is left; gives what was read and sets the wait status. A child still running
// after two minutes is killed.
std::string drainUntilExit(pid_t child, int fd, int& status) {
  ::fcntl(fd, F_SETFL, O_NONBLOCK);
  std::string seen;
  char buffer[4096];
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(2);
  for (bool running = true; running;) {
    pollfd ready{fd, POLLIN, 0};
    ::poll(&ready, 1, 50);
    running = ::waitpid(child, &status, WNOHANG) == 0;
    if (running && std::chrono::steady_clock::now() > deadline) ::kill(child, SIGKILL);
    for (ssize_t got; (got = ::read(fd, buffer, sizeof buffer)) > 0;) {
      seen.append(buffer, static_cast<std::size_t>(got));
    }
  }
  return seen;
}

int waitStatus(pid_t child) {
  int status = 0;
  ::waitpid(child, &status, 0);
  return status;
}

// Reads `fd` (opened without blocking) to its end, `pause` between reads, for up to 10 s.
std::string readToEnd(int fd, std::chrono::milliseconds pause = {}) {
  std::string received;
  char buffer[4096];
  eventually([&] {
    pollfd ready{fd, POLLIN, 0};
    ::poll(&ready, 1, 100);
    const ssize_t got = ::read(fd, buffer, sizeof buffer);
    if (got > 0) received.append(buffer, static_cast<std::size_t>(got));
    std::this_thread::sleep_for(pause);
    return got == 0;
  });
  return received;
}

// Sets or clears the append-only flag of a file or directory; false if it cannot.
bool setAppendOnly(const fs::path& path, bool on) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  int flags = 0;
  bool done = fd >= 0 && ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
  flags = on ? flags | FS_APPEND_FL : flags & ~FS_APPEND_FL;
  done = done && ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
  if (fd >= 0) ::close(fd);
  return done;
}

int entries(const fs::path& dir) {
  return static_cast<int>(std::distance(fs::directory_iterator(dir), fs::directory_iterator{}));
}

bool isPng(const std::string& path) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  const bool ok = png_image_begin_read_from_file(&image, path.c_str()) != 0;
  png_image_free(&image);
  return ok;
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
    fs::current_path(dir_);  // anything a faulty renderer writes by a relative name lands here
  }
  void TearDown() override {
    fs::current_path("/");
    fs::remove_all(dir_);
  }
  std::string path(const std::string& name) const { return (dir_ / name).string(); }
  // The PNG a small fixed render gives, for comparing what other outputs received.
  std::string reference() {
    EXPECT_EQ(render(kSmall + " -o " + path("reference.png")).status, 0);
    std::string bytes = slurp(path("reference.png"));
    fs::remove(path("reference.png"));
    return bytes;
  }
  const std::string kSmall = "--size 40x30 --ticks 400 --seed 7";
  fs::path dir_;
};

TEST(RenderOptions, MessagesEscapeControlsAndCutLongValues) {
  EXPECT_EQ(escapeForMessage("plain ünïcode"), "plain ünïcode");
  EXPECT_EQ(escapeForMessage("a\nb\tc\rd\x1b\x7f"), "a\\nb\\tc\\rd\\x1b\\x7f");
  EXPECT_EQ(escapeForMessage("\xc2\x85 \xe2\x80\xae \xff \xc3"), "\\x85 \\u202e \\xff \\xc3");
  EXPECT_EQ(escapeForMessage("\xed\xa0\x80"), "\\xed\\xa0\\x80");  // a surrogate is not UTF-8
  EXPECT_EQ(escapeForMessage(std::string(81, 'z'), 80), std::string(80, 'z') + "…");
  EXPECT_EQ(escapeForMessage(std::string(80, 'z'), 80), std::string(80, 'z'));
  EXPECT_EQ(escapeForMessage(std::string(79, 'z') + "\n", 80), std::string(79, 'z') + "…");
  EXPECT_EQ(escapeForMessage("ééé", 2), "éé…");
}

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

TEST_F(RenderTool, PngCoversTheWholeAreaWithBlackBeyondTheStoredPart) {
  Canvas canvas(20, 10, 8);  // stores at most 8 pixels a side
  for (int y = 0; y < 10; ++y) {
    for (int x = 0; x < 20; ++x) canvas.PSet(x, y, rgb(255, 128, 1));
  }
  {
    OutputFile output(path("stored.png"));
    writePng(canvas, output);
    output.commit();
  }
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  ASSERT_TRUE(png_image_begin_read_from_file(&image, path("stored.png").c_str()));
  ASSERT_EQ(image.width, 20u);
  ASSERT_EQ(image.height, 10u);
  image.format = PNG_FORMAT_RGB;
  std::vector<png_byte> rgbBytes(PNG_IMAGE_SIZE(image));
  ASSERT_TRUE(png_image_finish_read(&image, nullptr, rgbBytes.data(), 0, nullptr));
  for (int y = 0; y < 10; ++y) {
    for (int x = 0; x < 20; ++x) {
      const bool stored = x < canvas.storedWidth() && y < canvas.storedHeight();
      const std::size_t at = 3 * static_cast<std::size_t>(y * 20 + x);
      ASSERT_EQ(rgbBytes[at], stored ? 255 : 0) << x << "," << y;
      ASSERT_EQ(rgbBytes[at + 1], stored ? 128 : 0) << x << "," << y;
      ASSERT_EQ(rgbBytes[at + 2], stored ? 1 : 0) << x << "," << y;
    }
  }
}

// Only a rename that fails after another succeeded leaves some targets replaced (here the second
// rename fails, once both outputs are prepared and checked); the message names those.
TEST_F(RenderTool, ARenameFailingAfterAnotherNamesWhatWasReplaced) {
  fs::create_directories(dir_ / "a");
  fs::create_directories(dir_ / "b");
  {
    OutputFile first(path("a/x"));
    OutputFile second(path("b/y"));
    first.write("1", 1);
    second.write("2", 1);
    failingRename = 2;
    try {
      commitTogether({&first, &second});
      ADD_FAILURE() << "the second rename succeeded";
    } catch (const OutputError& error) {
      EXPECT_EQ(std::string(error.what()),
                "cannot write " + path("b/y") +
                    ": Input/output error (already replaced: " + path("a/x") + ")");
    }
  }
  failingRename = 0;
  EXPECT_EQ(slurp(path("a/x")), "1");
  EXPECT_EQ(entries(dir_ / "a"), 1);
  EXPECT_TRUE(fs::is_empty(dir_ / "b"));
}

// A stop signal that comes between two renames (raised here by the first) waits until every
// output is in place: it never leaves some replaced and others not.
TEST_F(RenderTool, AStopSignalDuringTheRenamesWaitsForTheLast) {
  for (const char* name : {"a", "b"}) std::ofstream(path(name)) << "old";
  EXPECT_EXIT(
      {
        OutputFile first(path("a"));
        OutputFile second(path("b"));
        first.write("new", 3);
        second.write("new", 3);
        signalAfterRenames = 1;
        commitTogether({&first, &second});
        std::_Exit(0);
      },
      ::testing::KilledBySignal(SIGTERM), "");
  EXPECT_EQ(slurp(path("a")), "new");
  EXPECT_EQ(slurp(path("b")), "new");
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
  // An empty value is named as such, not as whatever follows it.
  EXPECT_EQ(render("--size=" + out).err.find("walkers-render: bad --size \"\""), 0u);
  EXPECT_EQ(render("--seed= --ticks 100" + out).err.find("walkers-render: bad --seed \"\""), 0u);
  for (const char* empty : {"-o ''", "--output=", "--output ''"}) {
    const RunResult run = render(std::string("--ticks 5 ") + empty);
    EXPECT_EQ(run.status, 2) << empty;
    EXPECT_EQ(run.err.find("walkers-render: bad --output \"\""), 0u) << run.err;
  }
  // Echoed values show control characters escaped and are cut after 80 characters.
  EXPECT_NE(render("--size \"$(printf '1\\033[2J\\tx')\"" + out).err.find("\"1\\x1b[2J\\tx\""),
            std::string::npos);
  const RunResult longValue = render("--ticks " + std::string(200, '9') + out);
  EXPECT_NE(longValue.err.find("\"" + std::string(80, '9') + "…\""), std::string::npos);
  EXPECT_NE(render("$(printf 'stray\\001')" + out).err.find("\"stray\\x01\""), std::string::npos);
  EXPECT_TRUE(fs::is_empty(dir_));
}

TEST_F(RenderTool, UnwritableOutputNamesPathAndReasonWithStatusOne) {
  const RunResult missing = render("--ticks 5 -o " + path("no/such/dir/x.png"));
  EXPECT_EQ(missing.status, 1);
  EXPECT_EQ(missing.err, "walkers-render: cannot write " + path("no/such/dir/x.png") +
                             ": No such file or directory\n");
  EXPECT_EQ(render("--ticks 5 -o " + dir_.string()).status, 1);  // a directory
  // A long path is cut as a bad value is.
  const std::string deep = path(std::string(300, 'd') + "/x.png");
  EXPECT_EQ(render("--ticks 5 -o " + deep).err,
            "walkers-render: cannot write " + deep.substr(0, 80) + "…: File name too long\n");
  EXPECT_TRUE(fs::is_empty(dir_));
}

// A name that reaches one of the renderer's own descriptors (/dev/stdout, /dev/stderr, /dev/fd/N,
// /proc/self/fd/N, a link to one) is written through that descriptor, as "-" is: what the shell
// opened with >> is appended to, and the file it holds is never renamed over, even where the
// link text under /proc names it (or names a file deleted since, "gone.png (deleted)").
TEST_F(RenderTool, NamesOfOurOwnDescriptorsAreWrittenThroughThem) {
  const std::string expected = reference();
  fs::create_symlink("/dev/stdout", path("to-stdout"));
  fs::create_symlink("to-stdout", path("to-link"));
  const std::string kinds[][2] = {{"/dev/stdout", ">>"},     {"/dev/fd/1", ">>"},
                                  {"/proc/self/fd/1", ">>"}, {"/dev/stderr", "2>>"},
                                  {"/dev/fd/3", "3>>"},      {"/proc/self/fd/3", "3>>"},
                                  {path("to-link"), ">>"},   {"/proc/thread-self/fd/1", ">>"}};
  for (const auto& [name, redirection] : kinds) {
    std::ofstream(path("all.out")) << "prefix\n";
    struct stat before {};
    ASSERT_EQ(::stat(path("all.out").c_str(), &before), 0);
    for (int run = 0; run < 2; ++run) {
      std::string command = std::string(kRender) + " " + kSmall + " -o ";
      command.append(name).append(" ").append(redirection).append(path("all.out"));
      const RunResult appended = shell(command);
      EXPECT_EQ(appended.status, 0) << name << ": " << appended.err;
    }
    std::string twice = "prefix\n" + expected;
    twice += expected;
    EXPECT_TRUE(slurp(path("all.out")) == twice) << name;
    struct stat after {};
    ASSERT_EQ(::stat(path("all.out").c_str(), &after), 0);
    EXPECT_EQ(after.st_ino, before.st_ino) << name;
  }
  // The raw frames appended twice, as in the issue: both runs are there, one after the other.
  ASSERT_EQ(render(kSmall + " --frames " + path("frames.raw")).status, 0);
  const std::string frames = slurp(path("frames.raw"));
  fs::remove(path("frames.raw"));
  for (int run = 0; run < 2; ++run) {
    EXPECT_EQ(
        shell(std::string(kRender) + " " + kSmall + " --frames /dev/stdout >>" + path("all.raw"))
            .status,
        0);
  }
  EXPECT_TRUE(slurp(path("all.raw")) == frames + frames);
  // Standard output on a file deleted since, still reachable through a second link to it.
  const RunResult gone = shell("exec 3>&1 >" + path("gone.png") + " && ln " + path("gone.png") +
                               " " + path("kept.png") + " && rm " + path("gone.png") + " && exec " +
                               kRender + " " + kSmall + " -o /dev/stdout 2>&3");
  EXPECT_EQ(gone.status, 0) << gone.err;
  EXPECT_TRUE(slurp(path("kept.png")) == expected);
  EXPECT_FALSE(fs::exists(path("gone.png")));
  // A descriptor that is not open, was closed at start, or is not open for writing: nothing to
  // write through, said before the render.
  std::ofstream(path("input")) << "old";
  const std::pair<std::string, std::string> refused[] = {
      {"-o /dev/fd/9 2>&1", "/dev/fd/9: Bad file descriptor"},
      {"-o /proc/self/fd/9 2>&1", "/proc/self/fd/9: Bad file descriptor"},
      {"-o /dev/stdout 2>&1 >&-", "/dev/stdout: Bad file descriptor"},
      {"--frames /dev/stdin 2>&1 <" + path("input"), "/dev/stdin: Bad file descriptor"}};
  for (const auto& [args, message] : refused) {
    const RunResult run = shell(std::string(kRender) + " " + kSmall + " " + args);
    EXPECT_EQ(run.status, 1) << args;
    EXPECT_EQ(run.err, "walkers-render: cannot write " + message + "\n") << args;
  }
  EXPECT_EQ(slurp(path("input")), "old");
  EXPECT_EQ(entries(dir_), 6);
}

TEST_F(RenderTool, DevicesAreWrittenInPlaceAndStayDevices) {
  // As root, a renderer that replaced device nodes would delete the system's /dev/null, so root
  // tests private nodes of the same devices; anyone else may use the system's, which they cannot
  // replace.
  std::string null = "/dev/null";
  std::string full = "/dev/full";
  if (::geteuid() == 0) {
    null = path("null");
    full = path("full");
    if (::mknod(null.c_str(), S_IFCHR | 0666, ::makedev(1, 3)) != 0 ||
        ::mknod(full.c_str(), S_IFCHR | 0666, ::makedev(1, 7)) != 0 ||
        ::access(null.c_str(), W_OK) != 0 || std::ofstream(null).fail()) {
      GTEST_SKIP() << "cannot make device nodes here";
    }
  }
  struct stat before {};
  ASSERT_EQ(::stat(null.c_str(), &before), 0);
  EXPECT_EQ(render(kSmall + " -o " + null).status, 0);
  const RunResult failed = render(kSmall + " -o " + full);
  EXPECT_EQ(failed.status, 1);
  EXPECT_EQ(failed.err, "walkers-render: cannot write " + full + ": No space left on device\n");
  for (const std::string& device : {null, full}) {
    struct stat after {};
    ASSERT_EQ(::stat(device.c_str(), &after), 0);
    EXPECT_TRUE(S_ISCHR(after.st_mode)) << device;
  }
  struct stat after {};
  ::stat(null.c_str(), &after);
  EXPECT_EQ(after.st_rdev, before.st_rdev);
  EXPECT_EQ(after.st_ino, before.st_ino);
}

TEST_F(RenderTool, FifoAndStandardOutputReceiveThePng) {
  const std::string expected = reference();
  ASSERT_EQ(::mkfifo(path("fifo").c_str(), 0600), 0);
  // Read without blocking on open, so that a renderer that never opened the FIFO fails the test
  // after the deadline instead of hanging it.
  const int fifo = ::open(path("fifo").c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  ASSERT_GE(fifo, 0);
  std::string received;
  std::thread reader([&] {
    // Until a writer comes and goes, a FIFO gives no end of file.
    for (int tries = 0; tries < 100 && received.empty(); ++tries) received = readToEnd(fifo);
  });
  EXPECT_EQ(render(kSmall + " -o " + path("fifo")).status, 0);
  reader.join();
  ::close(fifo);
  EXPECT_EQ(received, expected);
  EXPECT_TRUE(fs::is_fifo(path("fifo")));
  EXPECT_EQ(entries(dir_), 1);

  const RunResult piped =
      shell(std::string(kRender) + " " + kSmall + " -o - 2>/dev/null | cat >" + path("piped.png"));
  EXPECT_EQ(piped.status, 0);
  EXPECT_EQ(slurp(path("piped.png")), expected);

  // A pipe nobody reads: the write fails with a message instead of killing the process.
  int pipeEnds[2];
  ASSERT_EQ(::pipe2(pipeEnds, O_CLOEXEC), 0);
  ::close(pipeEnds[0]);
  const int messages = ::open(path("messages").c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
  const pid_t child = launch({"--size", "40x30", "--ticks", "400", "--seed", "7", "-o", "-"}, 0,
                             pipeEnds[1], messages);
  ::close(pipeEnds[1]);
  ::close(messages);
  const int status = waitStatus(child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1);
  EXPECT_EQ(slurp(path("messages")), "walkers-render: cannot write standard output: Broken pipe\n");
}

TEST_F(RenderTool, StandardOutputOnATerminalIsRefused) {
  const int master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (master < 0 || ::grantpt(master) != 0 || ::unlockpt(master) != 0) {
    GTEST_SKIP() << "no pseudo-terminal";
  }
  const int terminal = ::open(::ptsname(master), O_RDWR | O_NOCTTY | O_CLOEXEC);
  ASSERT_GE(terminal, 0);
  const int status = waitStatus(launch({"--ticks", "5", "-o", "-"}, 0, terminal));
  // Named through /proc, the terminal is refused when the output is opened.
  const int named = waitStatus(launch({"--ticks", "5", "--frames", "/dev/stdout"}, 0, terminal));
  ::close(terminal);
  ::close(master);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 2);
  EXPECT_TRUE(WIFEXITED(named) && WEXITSTATUS(named) == 1) << named;
}

// On a terminal the progress line is cleared before a failure is reported, so the message is a
// line of its own rather than a tail of the progress line.
TEST_F(RenderTool, AFailureAfterTheProgressLineIsALineOfItsOwn) {
  const int master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (master < 0 || ::grantpt(master) != 0 || ::unlockpt(master) != 0) {
    GTEST_SKIP() << "no pseudo-terminal";
  }
  // Held open until the end, so that what was written stays readable.
  const int terminal = ::open(::ptsname(master), O_RDWR | O_NOCTTY | O_CLOEXEC);
  ASSERT_GE(terminal, 0);
  // The progress line drawn from the start (as after half a second of a long render), then a
  // picture too large to write: a short render, as quick in a sanitizer build as in any.
  ::setenv("WALKERS_RENDER_PROGRESS_AT_ONCE", "1", 1);
  const pid_t child =
      launch({"--ticks", "5000", "--seed", "1", "-o", path("x.png")}, 0, -1, terminal, 1024);
  ::unsetenv("WALKERS_RENDER_PROGRESS_AT_ONCE");
  int status = 0;
  const std::string seen = drainUntilExit(child, master, status);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1) << status;
  ::close(terminal);
  ::close(master);
  ASSERT_NE(seen.find('%'), std::string::npos) << "no progress line: " << seen;
  const auto message = seen.find("walkers-render: cannot write");
  ASSERT_NE(message, std::string::npos) << seen;
  // What the line shows: from the last carriage return before the message to the end of the line,
  // with erasures dropped.
  const auto start = seen.rfind('\r', message) + 1;
  std::string shown = seen.substr(start, seen.find_first_of("\r\n", message) - start);
  for (std::size_t erase; (erase = shown.find("\033[K")) != std::string::npos;) {
    shown.erase(erase, 3);
  }
  EXPECT_EQ(shown, "walkers-render: cannot write " + path("x.png") + ": File too large");
  EXPECT_TRUE(fs::is_empty(dir_));
}

TEST_F(RenderTool, SymlinksAreFollowedAndKeptAndModesAreKept) {
  const std::string expected = reference();
  fs::create_directories(dir_ / "real");
  std::ofstream(path("real/picture.png")) << "old";
  ::chmod(path("real/picture.png").c_str(), 0640);
  fs::create_symlink("real/picture.png", path("link.png"));
  fs::create_symlink("real/new.png", path("dangling.png"));
  ASSERT_EQ(render(kSmall + " -o " + path("link.png")).status, 0);
  ASSERT_EQ(render(kSmall + " -o " + path("dangling.png")).status, 0);
  EXPECT_TRUE(fs::is_symlink(path("link.png")));
  EXPECT_TRUE(fs::is_symlink(path("dangling.png")));
  EXPECT_EQ(slurp(path("real/picture.png")), expected);
  EXPECT_EQ(slurp(path("real/new.png")), expected);
  struct stat status {};
  ::stat(path("real/picture.png").c_str(), &status);
  EXPECT_EQ(status.st_mode & 07777, 0640u);
  EXPECT_EQ(entries(dir_), 3);
  EXPECT_EQ(entries(dir_ / "real"), 2);
}

// Two outputs that reach one file by different spellings would overwrite or mix each other, so
// they are refused like the same name twice; the file is left as it was.
TEST_F(RenderTool, TwoSpellingsOfOneFileAreRefused) {
  std::ofstream(path("one.png")) << "old";
  fs::create_symlink("one.png", path("link.png"));
  ASSERT_EQ(::mkfifo(path("fifo").c_str(), 0600), 0);
  fs::create_symlink("fifo", path("fifo-link"));
  // Held open for reading, so that opening the FIFO for writing does not wait for a reader.
  const int reader = ::open(path("fifo").c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  ASSERT_GE(reader, 0);
  for (const std::string& pair : {"-o " + path("one.png") + " --animate " + path("link.png"),
                                  "-o one.png --frames " + path("one.png"),
                                  std::string("--animate one.png --frames ./one.png"),
                                  "--frames " + path("fifo") + " --animate " + path("fifo-link")}) {
    const RunResult run = render(kSmall + " " + pair);
    EXPECT_EQ(run.status, 2) << pair;
    EXPECT_NE(run.err.find("names the same file as"), std::string::npos) << pair << ": " << run.err;
  }
  ::close(reader);
  EXPECT_EQ(slurp(path("one.png")), "old");
  // One written directly (standard output, appending to out.bin here) and one renamed into place.
  std::ofstream(path("out.bin")) << "old";
  for (const std::string& pair :
       {std::string("-o - --animate /dev/stdout"), "-o - --frames " + path("out.bin"),
        std::string("--frames - -o /proc/self/fd/1")}) {
    const RunResult run =
        shell(std::string(kRender) + " " + kSmall + " " + pair + " 2>&1 >>" + path("out.bin"));
    EXPECT_EQ(run.status, 2) << pair;
    EXPECT_NE(run.err.find("names the same file as"), std::string::npos) << pair << ": " << run.err;
    EXPECT_TRUE(slurp(path("out.bin")) == "old") << pair;
  }
  EXPECT_EQ(entries(dir_), 5);
}

// Every output is complete and named beside its target before the first rename, so a failure
// before the renames (the second output's directory removed, or made append-only, during the
// render) keeps every old file and leaves no temporary beside it. The raw frames go to a FIFO,
// which holds the render until the test has spoilt the directory and reads them.
TEST_F(RenderTool, AFailureBeforeTheRenamesKeepsEveryOldFile) {
  const std::pair<std::function<bool()>, std::string> spoilers[] = {
      {[&] { return fs::remove_all(dir_ / "b") > 0; }, "No such file or directory"},
      {[&] { return setAppendOnly(dir_ / "b", true); }, "Operation not permitted"}};
  test::forEachTemporaryKind([&](bool) {
    for (const auto& [spoil, reason] : spoilers) {
      fs::create_directories(dir_ / "a");
      fs::create_directories(dir_ / "b");
      std::ofstream(path("a/p.png")) << "old";
      ASSERT_EQ(::mkfifo(path("fifo").c_str(), 0600), 0);
      const int fifo = ::open(path("fifo").c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
      const int messages = ::open(path("messages").c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
      const pid_t child =
          launch({"--size", "40x30", "--ticks", "4000", "--seed", "7", "-o", path("a/p.png"),
                  "--animate", path("b/a.webp"), "--frames", path("fifo")},
                 0, -1, messages);
      ::close(messages);
      pollfd started{fifo, POLLIN, 0};
      EXPECT_EQ(::poll(&started, 1, 10'000), 1);
      const bool spoilt = spoil();
      EXPECT_EQ(readToEnd(fifo).size(), 100u * 40 * 30 * 3);
      ::close(fifo);
      const int status = waitStatus(child);
      if (spoilt) {  // no append-only flag without CAP_LINUX_IMMUTABLE on ext4 or the like
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1) << reason;
        EXPECT_EQ(slurp(path("messages")),
                  "walkers-render: cannot write " + path("b/a.webp") + ": " + reason + "\n");
        EXPECT_TRUE(slurp(path("a/p.png")) == "old") << reason;
        EXPECT_EQ(entries(dir_ / "a"), 1) << reason;
      }
      setAppendOnly(dir_ / "b", false);
      fs::remove_all(dir_);
      fs::create_directories(dir_);
    }
  });
}

// A target that is swapped during the render (a FIFO, a link, a dangling link or another file put
// under its name, a file put where there was none, its directory renamed) is not what was
// resolved at the start: it is left as it is, the render fails naming it, and no temporary file
// is left anywhere. Held by the raw frames' FIFO, the render waits while the test swaps.
TEST_F(RenderTool, ATargetSwappedDuringTheRenderIsLeftAsItIs) {
  const auto swapIn = [&](const std::function<void()>& make) {
    return [&, make] {
      fs::remove(path("d/p.png"));
      make();
    };
  };
  const std::pair<std::string, std::function<void()>> swaps[] = {
      {"a FIFO", swapIn([&] { ::mkfifo(path("d/p.png").c_str(), 0600); })},
      {"a link", swapIn([&] { fs::create_symlink("other", path("d/p.png")); })},
      {"a dangling link", swapIn([&] { fs::create_symlink("nowhere", path("d/p.png")); })},
      {"another file",
       [&] {
         std::ofstream(path("d/new")) << "new";
         fs::rename(path("d/new"), path("d/p.png"));
       }},
      {"a file where there was none",
       [&] {
         fs::remove(path("d/p.png"));
         std::ofstream(path("d/p.png")) << "new";
       }},
      {"a renamed directory", [&] { fs::rename(dir_ / "d", dir_ / "moved"); }},
      {"nothing", [] {}}};
  test::forEachTemporaryKind([&](bool) {
    for (const auto& [what, swap] : swaps) {
      fs::create_directories(dir_ / "d");
      std::ofstream(path("d/other")) << "other";
      if (what != "a file where there was none") std::ofstream(path("d/p.png")) << "old";
      ASSERT_EQ(::mkfifo(path("fifo").c_str(), 0600), 0);
      const int fifo = ::open(path("fifo").c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
      const int messages = ::open(path("messages").c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
      const pid_t child = launch({"--size", "40x30", "--ticks", "4000", "--seed", "7", "-o",
                                  path("d/p.png"), "--frames", path("fifo")},
                                 0, -1, messages);
      ::close(messages);
      pollfd started{fifo, POLLIN, 0};
      EXPECT_EQ(::poll(&started, 1, 10'000), 1) << what;
      swap();
      EXPECT_EQ(readToEnd(fifo).size(), 100u * 40 * 30 * 3) << what;
      ::close(fifo);
      const int status = waitStatus(child);
      const fs::path place = what == "a renamed directory" ? dir_ / "moved" : dir_ / "d";
      if (what == "nothing") {
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << slurp(path("messages"));
        EXPECT_TRUE(isPng((place / "p.png").string()));
      } else {
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1) << what;
        EXPECT_EQ(slurp(path("messages")),
                  "walkers-render: cannot write " + path("d/p.png") +
                      ": it no longer leads where it did when the render started (something "
                      "else was put there, or its directory was moved); it was left as it is\n")
            << what;
      }
      EXPECT_EQ(slurp(place / "other"), "other") << what;
      EXPECT_EQ(entries(place), 2) << what;  // nothing beside them
      if (what == "a FIFO") {
        EXPECT_TRUE(fs::is_fifo(place / "p.png"));
      }
      if (what == "a link") {
        EXPECT_EQ(fs::read_symlink(place / "p.png"), "other");
      }
      if (what == "a dangling link") {
        EXPECT_EQ(fs::read_symlink(place / "p.png"), "nowhere");
        EXPECT_FALSE(fs::exists(place / "nowhere"));
      }
      if (what == "another file" || what == "a file where there was none") {
        EXPECT_EQ(slurp(place / "p.png"), "new") << what;
      }
      if (what == "a renamed directory") {
        EXPECT_EQ(slurp(place / "p.png"), "old");
        EXPECT_FALSE(fs::exists(dir_ / "d"));
      }
      fs::remove_all(dir_);
      fs::create_directories(dir_);
    }
  });
}

// A parent's non-blocking pipe as standard output: the renderer waits for a slow reader instead
// of failing with "Resource temporarily unavailable".
TEST_F(RenderTool, ANonBlockingStandardOutputWaitsForASlowReader) {
  ASSERT_EQ(render("--size 100x100 --ticks 400 --seed 7 --frames " + path("f.rgb")).status, 0);
  int ends[2];
  ASSERT_EQ(::pipe2(ends, O_CLOEXEC), 0);
  ::fcntl(ends[0], F_SETFL, O_NONBLOCK);
  ::fcntl(ends[1], F_SETFL, O_NONBLOCK);
  const int messages = ::open(path("messages").c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
  const pid_t child =
      launch({"--size", "100x100", "--ticks", "400", "--seed", "7", "--frames", "-"}, 0, ends[1],
             messages);
  ::close(ends[1]);
  ::close(messages);
  const std::string received = readToEnd(ends[0], std::chrono::milliseconds(1));
  ::close(ends[0]);
  const int status = waitStatus(child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << slurp(path("messages"));
  EXPECT_TRUE(received == slurp(path("f.rgb")));
}

// In an append-only directory a file can be made but never renamed or removed, and an
// append-only file cannot be replaced: both are refused before the render, leaving nothing.
TEST_F(RenderTool, AppendOnlyPlacesAreRefusedBeforeTheRender) {
  fs::create_directories(dir_ / "log");
  std::ofstream(path("kept.png")) << "old";
  struct Unlock {  // so that the directory can be removed however the test ends
    fs::path log, kept;
    ~Unlock() { setAppendOnly(log, false), setAppendOnly(kept, false); }
  } unlock{dir_ / "log", path("kept.png")};
  if (!setAppendOnly(dir_ / "log", true) || !setAppendOnly(path("kept.png"), true)) {
    GTEST_SKIP() << "no append-only flag here (needs CAP_LINUX_IMMUTABLE and ext4 or the like)";
  }
  test::forEachTemporaryKind([&](bool) {
    for (const std::string& target : {path("log/new.png"), path("kept.png")}) {
      // A render that was not refused up front would run for many minutes.
      const RunResult run = shell("timeout 10 " + std::string(kRender) +
                                  " --ticks 1000000000000 -o " + target + " 2>&1");
      EXPECT_EQ(run.status, 1) << target;
      EXPECT_EQ(run.err, "walkers-render: cannot write " + target + ": Operation not permitted\n");
    }
  });
  EXPECT_TRUE(fs::is_empty(dir_ / "log"));
  EXPECT_EQ(slurp(path("kept.png")), "old");
  EXPECT_EQ(entries(dir_), 2);
}

TEST_F(RenderTool, NamesUpToTheLongestTheDirectoryTakesWork) {
  for (std::size_t length = 245; length <= 255; ++length) {
    const std::string name = std::string(length - 4, 'n') + ".png";
    const RunResult run = render("--size 4x4 --ticks 5 --seed 1 -o " + path(name));
    EXPECT_EQ(run.status, 0) << length << ": " << run.err;
    EXPECT_TRUE(isPng(path(name))) << length;
    fs::remove(path(name));
  }
  EXPECT_EQ(render("-o " + path(std::string(256, 'n'))).status, 1);  // too long for any
  EXPECT_TRUE(fs::is_empty(dir_));
}

TEST_F(RenderTool, ClosedStandardErrorNeverLandsInThePng) {
  const RunResult run = shell(std::string(kRender) + " --size 20x20 --ticks 100 --seed 5 -o " +
                              path("c.png") + " 2>&-");
  EXPECT_EQ(run.status, 0);
  EXPECT_TRUE(isPng(path("c.png")));
  EXPECT_EQ(slurp(path("c.png")).find("walkers-render"), std::string::npos);
}

// The seed taken from the clock is what makes the picture again: when its line cannot be written
// (standard error full, closed at start, or a pipe nobody reads), nothing is rendered and nothing
// written, with status 1, rather than a picture nobody can make again. With --seed, no line is
// needed. A standard error that does not block is waited for, as standard output is.
TEST_F(RenderTool, AClockSeedThatCannotBeWrittenStopsTheRender) {
  std::string full = "/dev/full";
  if (::geteuid() == 0) {  // root uses a private node, as above
    full = path("full");
    if (::mknod(full.c_str(), S_IFCHR | 0666, ::makedev(1, 7)) != 0) {
      GTEST_SKIP() << "cannot make device nodes here";
    }
  }
  const std::string picture = " --size 20x20 --ticks 100 -o " + path("c.png");
  for (const std::string& away : {"2>" + full, std::string("2>&-")}) {
    std::string command = std::string(kRender) + picture + " ";
    command += away;
    const RunResult run = shell(command);
    EXPECT_EQ(run.status, 1) << away;
    EXPECT_FALSE(fs::exists(path("c.png"))) << away;
    // Nor do direct outputs receive anything.
    const RunResult piped =
        shell(std::string(kRender) + " --size 20x20 --ticks 100 -o - " + away + " | wc -c");
    EXPECT_EQ(piped.err, "0\n") << away;
  }
  int ends[2];
  ASSERT_EQ(::pipe2(ends, O_CLOEXEC), 0);
  ::close(ends[0]);
  const int closedPipe = waitStatus(
      launch({"--size", "20x20", "--ticks", "100", "-o", path("c.png")}, 0, -1, ends[1]));
  ::close(ends[1]);
  EXPECT_TRUE(WIFEXITED(closedPipe) && WEXITSTATUS(closedPipe) == 1) << closedPipe;
  EXPECT_FALSE(fs::exists(path("c.png")));
  const RunResult given = shell(std::string(kRender) + picture + " --seed 5 2>" + full);
  EXPECT_EQ(given.status, 0);
  EXPECT_TRUE(isPng(path("c.png")));
  fs::remove(path("c.png"));

  // A full standard error that does not block: the seed line waits for the reader.
  ASSERT_EQ(::pipe2(ends, O_CLOEXEC | O_NONBLOCK), 0);
  const std::string filler(4096, 'x');
  while (::write(ends[1], filler.data(), filler.size()) > 0) {
  }
  const pid_t child =
      launch({"--size", "20x20", "--ticks", "100", "-o", path("c.png")}, 0, -1, ends[1]);
  ::close(ends[1]);
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  const std::string seen = readToEnd(ends[0]);
  ::close(ends[0]);
  const int status = waitStatus(child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  EXPECT_EQ(seen.substr(seen.find_first_not_of('x')).rfind("seed: ", 0), 0u);
  EXPECT_TRUE(isPng(path("c.png")));
}

// "-" asks for standard output; when that was closed at start (and so is /dev/null inside), or
// cannot take what is written, it is a failure to write, not a silent success.
TEST_F(RenderTool, ClosedOrFullStandardOutputIsAFailure) {
  for (const char* args : {"--ticks 5 -o -", "--ticks 5 --frames -", "--version", "--help"}) {
    const RunResult run = shell(std::string(kRender) + " " + args + " 2>&1 >&-");
    EXPECT_EQ(run.status, 1) << args;
    EXPECT_EQ(run.err, "walkers-render: cannot write standard output: Bad file descriptor\n")
        << args;
  }
  std::string full = "/dev/full";
  if (::geteuid() == 0) {  // root uses a private node, as above
    full = path("full");
    if (::mknod(full.c_str(), S_IFCHR | 0666, ::makedev(1, 7)) != 0) {
      GTEST_SKIP() << "cannot make device nodes here";
    }
  }
  for (const char* args : {"--version", "--help"}) {
    const RunResult run = shell(std::string(kRender) + " " + args + " 2>&1 >" + full);
    EXPECT_EQ(run.status, 1) << args;
    EXPECT_EQ(run.err, "walkers-render: cannot write standard output: No space left on device\n")
        << args;
  }
}

// Sends `signal` once the render has its temporary file open (so, before the ticks begin), or
// has written its picture; answers the wait status.
int signalMidRender(const fs::path& dir, int signal, int ignoredAtStart = 0,
                    const char* ticks = "1000000000000") {
  const std::string target = (dir / "slow.png").string();
  const pid_t child =
      launch({"--size", "64x64", "--ticks", ticks, "--seed", "1", "-o", target}, ignoredAtStart);
  const bool started = eventually([&] { return test::writesInto(child, dir) || entries(dir) > 0; });
  ::kill(child, signal);
  const int status = waitStatus(child);
  EXPECT_TRUE(started);
  return status;
}

TEST_F(RenderTool, SignalsThatEndTheRenderLeaveNoFile) {
  test::forEachTemporaryKind([&](bool named) {
    for (const int signal :
         {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGUSR1, SIGALRM, SIGXCPU, SIGKILL}) {
      // SIGKILL cannot be caught: only a temporary file with no name yet leaves nothing behind.
      if (named && signal == SIGKILL) continue;
      const int status = signalMidRender(dir_, signal);
      EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signal) << strsignal(signal);
      EXPECT_TRUE(fs::is_empty(dir_)) << strsignal(signal);
    }
  });
}

// nohup starts the renderer with SIGHUP ignored, and SIGPIPE it ignores itself: sent before
// SIGTERM, either would end the process first (the lower-numbered signal is handled first) if
// it were not ignored; SIGTERM then ends it and removes the temporary file.
TEST_F(RenderTool, ASignalIgnoredAtStartStaysIgnored) {
  test::forEachTemporaryKind([&](bool) {
    for (const auto& [signal, ignored] : {std::pair{SIGHUP, SIGHUP}, std::pair{SIGPIPE, 0}}) {
      const pid_t child = launch(
          {"--size", "64x64", "--ticks", "1000000000000", "--seed", "1", "-o", path("slow.png")},
          ignored);
      EXPECT_TRUE(eventually([&] { return test::writesInto(child, dir_); }));
      ::kill(child, signal);
      ::kill(child, SIGTERM);
      const int status = waitStatus(child);
      EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM) << strsignal(signal);
      EXPECT_TRUE(fs::is_empty(dir_)) << strsignal(signal);
    }
  });
}

TEST_F(RenderTool, FileSizeLimitFailsCleanlyAndKeepsTheOldFile) {
  std::ofstream(path("x.png")) << "old";
  const RunResult run = shell(std::string("ulimit -f 1; ") + kRender +
                              " --ticks 20000 --seed 1 -o " + path("x.png") + " 2>&1");
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err, "walkers-render: cannot write " + path("x.png") + ": File too large\n");
  EXPECT_EQ(slurp(path("x.png")), "old");
  EXPECT_EQ(entries(dir_), 1);
}

#if !defined(__SANITIZE_ADDRESS__)
TEST_F(RenderTool, OutOfMemorySaysWhatCouldNotBeAllocated) {
  test::forEachTemporaryKind([&](bool) {
    const RunResult run =
        shell(std::string("ulimit -v 400000; ") + kRender +
              " --size 16384x16384 --ticks 1 --seed 1 -o " + path("big.png") + " 2>&1");
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "walkers-render: not enough memory for a 16384x16384 canvas (1.0 GiB)\n");
    EXPECT_TRUE(fs::is_empty(dir_));
  });
}
#endif

// Runs the renderer as `nobody` (only possible as root); a render that was not refused up front
// would run for many minutes, so `timeout` turns it into status 124. nobody runs a copy of the
// program in a folder of its own, since the build tree may sit in a folder closed to other users
// (a checkout in a `mktemp -d` folder), and so may a leak suppressions file that LSAN_OPTIONS
// names there (the sanitizer build would die on reading it); that goes beside the copy.
class UnprivilegedRender : public RenderTool {
 protected:
  void SetUp() override {
    if (::geteuid() != 0 || shell("command -v runuser && id nobody").status != 0) {
      GTEST_SKIP() << "needs root and runuser to run as nobody";
    }
    RenderTool::SetUp();
    fs::permissions(dir_, fs::perms::all | fs::perms::sticky_bit);
    bin_ = dir_.string() + "-bin";
    fs::remove_all(bin_);
    fs::create_directories(bin_);
    fs::permissions(bin_, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                              fs::perms::others_read | fs::perms::others_exec);
    fs::copy_file(kRender, bin_ / "walkers-render");
    environment_ = "env";
    if (const char* leaks = std::getenv("LSAN_OPTIONS")) {
      std::string options = leaks;
      const std::string key = "suppressions=";
      if (const auto at = options.find(key); at != std::string::npos) {
        const auto end = options.find(':', at);
        const std::string file = options.substr(at + key.size(), end - at - key.size());
        fs::copy_file(file, bin_ / "lsan.supp");
        options.replace(at + key.size(), file.size(), (bin_ / "lsan.supp").string());
      }
      environment_ += " LSAN_OPTIONS='" + options + "'";
    }
    // Reaching the test's folder is the test's own assumption (TMPDIR must be open to others).
    ASSERT_EQ(shell("runuser -u nobody -- test -x " + dir_.string() + " -a -x " +
                    (bin_ / "walkers-render").string())
                  .status,
              0)
        << "nobody cannot reach " << dir_ << " or " << bin_;
  }
  void TearDown() override {
    RenderTool::TearDown();
    if (!bin_.empty()) fs::remove_all(bin_);
  }
  RunResult renderAsNobody(const std::string& target) {
    return shell("timeout 10 runuser -u nobody -- " + environment_ + " " +
                 (bin_ / "walkers-render").string() + " --ticks 1000000000000 -o " + target +
                 " 2>&1");
  }
  fs::path bin_;
  std::string environment_;
};

TEST_F(UnprivilegedRender, UnwritableTargetsAreRefusedBeforeTheRender) {
  std::ofstream(path("others.png")) << "old";  // root's, writable by all, in a sticky directory
  fs::permissions(path("others.png"), fs::perms::all & ~fs::perms::owner_exec);
  std::ofstream(path("readonly.png")) << "old";
  fs::permissions(path("readonly.png"), fs::perms::owner_read | fs::perms::others_read);
  fs::create_directories(dir_ / "closed");
  fs::permissions(dir_ / "closed", fs::perms::owner_all | fs::perms::others_exec);
  const std::pair<std::string, const char*> cases[] = {
      {path("others.png"), "Operation not permitted"},
      {path("readonly.png"), "Permission denied"},
      {path("closed/new.png"), "Permission denied"}};
  for (const auto& [target, reason] : cases) {
    const RunResult run = renderAsNobody(target);
    EXPECT_EQ(run.status, 1) << target;
    EXPECT_EQ(run.err, "walkers-render: cannot write " + target + ": " + reason + "\n");
  }
  EXPECT_EQ(slurp(path("others.png")), "old");
  EXPECT_EQ(entries(dir_), 3);
  EXPECT_TRUE(fs::is_empty(dir_ / "closed"));
}

TEST_F(UnprivilegedRender, RootFollowsNoLinkPlantedByOthersInAStickyDirectory) {
  fs::create_directories(dir_ / "private");
  std::ofstream(path("private/precious")) << "old";
  fs::create_symlink(path("private/precious"), path("planted.png"));
  ASSERT_EQ(::lchown(path("planted.png").c_str(), 65534, 65534), 0);
  const RunResult run = render(kSmall + " -o " + path("planted.png"));
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err,
            "walkers-render: cannot write " + path("planted.png") + ": Permission denied\n");
  EXPECT_EQ(slurp(path("private/precious")), "old");
}

TEST_F(UnprivilegedRender, RootKeepsTheOwnerOfAReplacedFile) {
  std::ofstream(path("theirs.png")) << "old";
  ASSERT_EQ(::chown(path("theirs.png").c_str(), 65534, 65534), 0);
  ASSERT_EQ(render(kSmall + " -o " + path("theirs.png")).status, 0);
  struct stat status {};
  ::stat(path("theirs.png").c_str(), &status);
  EXPECT_EQ(status.st_uid, 65534u);
  EXPECT_TRUE(isPng(path("theirs.png")));
}

}  // namespace
}  // namespace walkers::render
