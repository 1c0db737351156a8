// Tests of the stop signals: SIGTERM, SIGINT and SIGHUP wake a descriptor instead of ending.
#include "host/unix/stop_signals.hpp"

#include <gtest/gtest.h>
#include <poll.h>

#include <csignal>
#include <cstdlib>

namespace walkers {
namespace {

TEST(StopSignals, TermIntAndHupWakeTheDescriptorInsteadOfEndingTheProcess) {
  for (const int signal : {SIGTERM, SIGINT, SIGHUP}) {
    {
      StopSignals stop;
      pollfd ready{stop.fd(), POLLIN, 0};
      EXPECT_EQ(::poll(&ready, 1, 0), 0);
      EXPECT_FALSE(stop.requested());
      ASSERT_EQ(std::raise(signal), 0);
      EXPECT_EQ(::poll(&ready, 1, 0), 1) << signal;
      EXPECT_TRUE(stop.requested());
      EXPECT_TRUE(stop.requested());  // it stays asked for
    }
    struct sigaction now {};
    ::sigaction(signal, nullptr, &now);
    EXPECT_EQ(now.sa_handler, SIG_DFL) << signal;  // the old handler is back
  }
}

// A program held up where it cannot look at the descriptor (inside Xlib, with the X server
// frozen) still ends with status 0 soon after a stop signal.
TEST(StopSignalsDeathTest, AProgramThatCannotLookStillEndsSoonWithStatusZero) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        StopSignals stop;
        std::raise(SIGTERM);
        ::poll(nullptr, 0, 3000);  // stuck well past the deadline
        std::_Exit(3);
      },
      ::testing::ExitedWithCode(0), "");
}

TEST(StopSignals, AHangupIgnoredAtStartStaysIgnored) {
  struct sigaction ignore {};
  ignore.sa_handler = SIG_IGN;
  sigemptyset(&ignore.sa_mask);
  struct sigaction before {};
  ASSERT_EQ(::sigaction(SIGHUP, &ignore, &before), 0);
  {
    StopSignals stop;
    ASSERT_EQ(std::raise(SIGHUP), 0);
    EXPECT_FALSE(stop.requested());
    ASSERT_EQ(std::raise(SIGTERM), 0);  // the others still stop it
    EXPECT_TRUE(stop.requested());
  }
  struct sigaction now {};
  ::sigaction(SIGHUP, &before, &now);
  EXPECT_EQ(now.sa_handler, SIG_IGN);
}

}  // namespace
}  // namespace walkers
