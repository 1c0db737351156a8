// The screensaver's grace: input in its first moments is ignored, the first input after it ends it.
#include "host/core/input_grace.hpp"

#include <gtest/gtest.h>

namespace walkers {
namespace {

using std::chrono::milliseconds;

TEST(InputGrace, IgnoresInputDuringTheGraceAndEndsAtTheFirstAfterIt) {
  const LoopClock::time_point start{};
  InputGrace grace(start);
  EXPECT_FALSE(grace.ended(start, 0));
  EXPECT_FALSE(grace.ended(start + milliseconds(500), 3));   // a key still bouncing
  EXPECT_FALSE(grace.ended(start + InputGrace::kGrace, 3));  // nothing new since
  EXPECT_FALSE(grace.ended(start + InputGrace::kGrace + milliseconds(400), 3));
  EXPECT_TRUE(grace.ended(start + InputGrace::kGrace + milliseconds(500), 4));
}

}  // namespace
}  // namespace walkers
