// Tests of the 16-bit range checks and of Int, the floor used by every random draw.
#include "engine/checked.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace walkers {
namespace {

TEST(Int, RoundsDownOnBothSidesOfZero) {
  EXPECT_EQ(Int(2.999), 2.0);
  EXPECT_EQ(Int(-0.5), -1.0);
  EXPECT_EQ(Int(-3.0), -3.0);
  EXPECT_EQ(Int(0.0), 0.0);
  EXPECT_EQ(Int(std::nextafter(1.0, 0.0) * 250 + 5), 254.0);
  EXPECT_EQ(Int(1e300), 1e300);
  EXPECT_TRUE(std::isnan(Int(std::numeric_limits<double>::quiet_NaN())));
}

TEST(Checked16, AcceptsTheWholeRangeAndRejectsOneBeyond) {
  EXPECT_EQ(checked16(32767, "x"), 32767);
  EXPECT_EQ(checked16(-32768, "x"), -32768);
  EXPECT_THROW(checked16(32768, "x"), OverflowError);
  EXPECT_THROW(checked16(-32769, "x"), OverflowError);
  EXPECT_THROW(checked16(32768.0, "x"), OverflowError);
  EXPECT_THROW(checked16(std::numeric_limits<double>::quiet_NaN(), "x"), OverflowError);
  EXPECT_THROW(mul16(200, 200, "x"), OverflowError);
  EXPECT_EQ(mul16(5, 20, "x"), 100);
}

TEST(Checked16, MessageNamesTheQuantityAndTheValue) {
  try {
    checked16(40000, "canvas centre x");
    FAIL() << "no error raised";
  } catch (const OverflowError& error) {
    EXPECT_STREQ(error.what(), "overflow: canvas centre x would be 40000, outside -32768..32767");
  }
}

}  // namespace
}  // namespace walkers
