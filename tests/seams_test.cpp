// Tests of what Unix supplies through host/core/seams.hpp: the wait, the seed line, the standard
// streams at start-up and --window-id's rule.
#include "host/core/seams.hpp"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <string>

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

}  // namespace
}  // namespace walkers
