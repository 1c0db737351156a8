// Tests of the timer's due-tick accounting: one tick per interval, and a cap after a stall.
#include "host/core/timer.hpp"

#include <gtest/gtest.h>

namespace walkers {
namespace {

using namespace std::chrono_literals;

TEST(Timer, HandsOutEachTickOnceWhenItFallsDue) {
  Timer t(1ms);
  const auto start = Timer::Clock::time_point{} + 5s;
  t.start(start);
  EXPECT_EQ(t.takeDue(start), 0u);
  EXPECT_EQ(t.takeDue(start + 999us), 0u);
  EXPECT_EQ(t.takeDue(start + 1ms), 1u);
  EXPECT_EQ(t.takeDue(start + 1ms), 0u);
  EXPECT_EQ(t.takeDue(start + 17500us), 16u);
  std::uint64_t total = 17;
  for (int ms = 18; ms <= 1000; ms += 7) total += t.takeDue(start + std::chrono::milliseconds(ms));
  EXPECT_EQ(total + t.takeDue(start + 1s), 1000u);
  EXPECT_EQ(t.dropped(), 0u);
}

TEST(Timer, AfterAStallRunsAtMostOneHundredMillisecondsAndDropsTheRest) {
  Timer t(1ms);
  const auto start = Timer::Clock::time_point{} + 5s;
  t.start(start);
  EXPECT_EQ(t.takeDue(start + 10ms), 10u);
  EXPECT_EQ(t.takeDue(start + 2010ms), 100u);
  EXPECT_EQ(t.dropped(), 1900u);
  EXPECT_EQ(t.takeDue(start + 2013ms), 3u);  // back on the schedule
}

}  // namespace
}  // namespace walkers
