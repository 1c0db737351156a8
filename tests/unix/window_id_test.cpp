// Tests of reading a window id as people and programs write it (--window-id, XSCREENSAVER_WINDOW).
#include "host/unix/window_id.hpp"

#include <gtest/gtest.h>

#include <optional>

namespace walkers {
namespace {

TEST(WindowId, HexWithAPrefixOrDecimalWithinTwentyNineBitsAndNothingElse) {
  EXPECT_EQ(parseWindowId("0x1a00007"), 0x1a00007u);
  EXPECT_EQ(parseWindowId("0X1A"), 0x1au);
  EXPECT_EQ(parseWindowId("4194311"), 4194311u);
  EXPECT_EQ(parseWindowId("536870911"), 0x1fffffffu);  // X gives out no larger id
  for (const char* bad : {"", "0x", "0", "0x0", "-5", "+5", "12a", "0x1g", "0x20000000", " 5"}) {
    EXPECT_EQ(parseWindowId(bad), std::nullopt) << '"' << bad << '"';
  }
}

}  // namespace
}  // namespace walkers
