// Tests of when a pattern rests: covered, off, a frame left unanswered, on battery, or still.
#include "host/core/resting.hpp"

#include <gtest/gtest.h>

namespace walkers {
namespace {

using namespace std::chrono_literals;
using Time = Timer::Clock::time_point;

TEST(Resting, RestsWhileUnseenOrOnBatteryAndSaysWhenToDecideAgain) {
  const Time now = Time{} + 1h;
  const Time never = Time::max();
  const std::optional<Time> none;
  auto sight = [&](bool covered, bool off, std::optional<Time> asked = {},
                   Time askAgain = Time::max()) {
    return Sight{covered, off, asked, askAgain};
  };
  struct Case {
    const char* what;
    Sight sight;
    bool onBattery;
    bool resting;
    Time decideAgainAt;
  };
  const Case cases[] = {
      {"seen", sight(false, false), false, false, never},
      {"covered", sight(true, false), false, true, never},
      {"off", sight(false, true), false, true, never},
      {"off, its power asked again later", sight(false, true, none, now + 1s), false, true,
       now + 1s},
      {"a frame just asked for", sight(false, false, now - 300ms), false, false, now + 700ms},
      {"a frame unanswered for a while", sight(false, false, now - 1s), false, true, never},
      {"still: no frame asked for", sight(false, false, none), false, false, never},
      {"on battery", sight(false, false), true, true, now + kBatteryRecheck},
      {"covered on battery: only an event matters", sight(true, false), true, true, never},
      {"power asked while seen", sight(false, false, none, now + 400ms), false, false, now + 400ms},
  };
  for (const Case& c : cases) {
    const Rest rest = decideRest(c.sight, c.onBattery, now);
    EXPECT_EQ(rest.resting, c.resting) << c.what;
    EXPECT_EQ(rest.decideAgainAt, c.decideAgainAt) << c.what;
  }
}

}  // namespace
}  // namespace walkers
