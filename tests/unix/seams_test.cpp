// Tests of what Unix supplies through host/core/seams.hpp: the wait, the seed line, the standard
// streams at start-up and --window-id's rule; and why a window system's socket is unreachable.
#include "host/core/seams.hpp"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <string>

#include "host/unix/socket_check.hpp"

namespace walkers {
namespace {

using namespace std::chrono_literals;

// A pipe whose write end stands in for standard output while it exists.
struct OutputPipe {
  int ends[2] = {-1, -1};
  int saved = ::dup(STDOUT_FILENO);
  OutputPipe() {
    EXPECT_EQ(::pipe(ends), 0);
    ::fcntl(ends[0], F_SETFL, O_NONBLOCK);  // a line that never came fails the test, not hangs it
    ::dup2(ends[1], STDOUT_FILENO);
  }
  ~OutputPipe() {
    ::dup2(saved, STDOUT_FILENO);
    for (const int fd : {ends[0], ends[1], saved}) ::close(fd);
  }
  std::string read(std::size_t most) const {
    std::string text(most, '\0');
    const auto n = ::read(ends[0], text.data(), text.size());
    text.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
    return text;
  }
};

// A stop request already made, woken through a pipe as the stop signals' is.
struct MadeRequest : StopRequest {
  int ends[2] = {-1, -1};
  MadeRequest() {
    EXPECT_EQ(::pipe(ends), 0);
    EXPECT_EQ(::write(ends[1], "s", 1), 1);
  }
  ~MadeRequest() override {
    ::close(ends[0]);
    ::close(ends[1]);
  }
  bool requested() const override { return true; }
  std::intptr_t waitable() const override { return ends[0]; }
};

TEST(Seams, TheWaitEndsOnInputOnAStopOrAtTheDeadlineNotBefore) {
  int ends[2];
  ASSERT_EQ(::pipe(ends), 0);
  auto deadline = LoopClock::now() + 30ms;
  waitForInput(ends[0], nullptr, deadline);
  EXPECT_GE(LoopClock::now(), deadline);  // nothing to read: the whole wait, rounded up

  // Input, then a stop request, end the wait long before a far deadline.
  ASSERT_EQ(::write(ends[1], "x", 1), 1);
  deadline = LoopClock::now() + 20s;
  waitForInput(ends[0], nullptr, deadline);
  EXPECT_LT(LoopClock::now(), deadline) << "the input did not end the wait";
  char byte;
  ASSERT_EQ(::read(ends[0], &byte, 1), 1);
  const MadeRequest stop;
  deadline = LoopClock::now() + 20s;
  waitForInput(ends[0], &stop, deadline);
  EXPECT_LT(LoopClock::now(), deadline) << "the stop request did not end the wait";
  ::close(ends[0]);
  ::close(ends[1]);
}

TEST(Seams, TheSeedLineGoesWholeToStandardOutputOrIsDroppedWithoutWaiting) {
  OutputPipe output;
  ASSERT_TRUE(printSeedLine(18446744073709551615ULL));
  EXPECT_EQ(output.read(64), "seed: 18446744073709551615\n");

  // A full pipe in blocking mode, as a parent that never reads leaves it.
  ::fcntl(output.ends[1], F_SETFL, O_NONBLOCK);
  const std::string block(4096, 'x');
  std::size_t filled = 0;
  for (ssize_t n = 0; (n = ::write(output.ends[1], block.data(), block.size())) > 0;) {
    filled += static_cast<std::size_t>(n);
  }
  ::fcntl(output.ends[1], F_SETFL, 0);
  ::alarm(20);  // should the write wait after all, the test ends here rather than hanging
  EXPECT_FALSE(printSeedLine(7));
  ::alarm(0);
  EXPECT_EQ(output.read(filled + 64).size(), filled);

  // A reader that went away: the line is dropped, and SIGPIPE (ignored by walkers) is no matter.
  const auto previous = std::signal(SIGPIPE, SIG_IGN);
  ::close(output.ends[0]);
  output.ends[0] = -1;
  EXPECT_FALSE(printSeedLine(7));
  std::signal(SIGPIPE, previous);
}

// Run in a child: exits 0 when the closed streams were opened again before any file of ours.
void closeThenOpen(bool closeOutput) {
  ::close(STDIN_FILENO);
  if (closeOutput) ::close(STDOUT_FILENO);
  const auto outputClosed = openStandardStreams();
  const int next = ::open("/dev/null", O_RDONLY);
  std::_Exit(outputClosed == closeOutput && ::fcntl(STDIN_FILENO, F_GETFD) != -1 && next > 2 ? 0
                                                                                             : 1);
}

TEST(SeamsDeathTest, ClosedStandardStreamsAreOpenedAndAClosedOutputIsReported) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(closeThenOpen(true), testing::ExitedWithCode(0), "");
  EXPECT_EXIT(closeThenOpen(false), testing::ExitedWithCode(0), "");
}

TEST(Seams, AnotherProgramsWindowIsAnXWindowId) {
  EXPECT_EQ(parseOtherWindow("0x1a00007"), std::uintptr_t{0x1a00007});
  EXPECT_EQ(parseOtherWindow("0x20000000"), std::nullopt);
}

// A socket bound at `path`, listening or (after close) left behind as a stale file; -1 if not.
int boundSocket(const std::string& path, bool listening) {
  const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
  // NOLINTNEXTLINE(cppcoreguidelines-pro-type-reinterpret-cast): the sockets API's address type
  if (::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) return -1;
  if (listening)
    ::listen(fd, 1);
  else
    ::close(fd);
  return listening ? fd : -1;
}

TEST(Seams, AnUnreachableSocketSaysWhy) {
  char folder[] = "/tmp/walkers-socket-XXXXXX";
  ASSERT_NE(::mkdtemp(folder), nullptr);
  const std::string dir = folder;
  EXPECT_EQ(whySocketRefuses(dir + "/missing"), "No such file or directory");
  ASSERT_EQ(::mkfifo((dir + "/fifo").c_str(), 0600), 0);
  EXPECT_EQ(whySocketRefuses(dir + "/fifo"), "it is a FIFO, not a socket");
  EXPECT_EQ(whySocketRefuses(dir), "it is a directory, not a socket");
  boundSocket(dir + "/stale", false);  // its server gone, the file left behind
  EXPECT_EQ(whySocketRefuses(dir + "/stale"), "Connection refused");
  const int live = boundSocket(dir + "/live", true);
  EXPECT_EQ(whySocketRefuses(dir + "/live"), "");
  EXPECT_EQ(whySocketRefuses(dir + "/" + std::string(200, 'x')).rfind("the socket's path is", 0),
            0u);
  ::close(live);
  for (const char* name : {"/fifo", "/stale", "/live"}) ::unlink((dir + name).c_str());
  ::rmdir(folder);
}

}  // namespace
}  // namespace walkers
