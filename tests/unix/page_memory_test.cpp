// Tests of canvas pixels kept in pages from the system: zero when given, cleared by handing the
// pages back, and a grown store touching only the pages that hold paint.
#include "host/unix/page_memory.hpp"

#include <gtest/gtest.h>

#include <cstdint>

#include "tests/support/resident_pages.hpp"

namespace walkers {
namespace {

using test::residentPages;

TEST(PageMemory, ClearingALargeCanvasHandsItsPagesBackAndASmallOneIsWritten) {
  Canvas large(1500, 1000);
  large.keepPixelsIn(&PageMemory::process());
  ASSERT_EQ(large.order(), PixelOrder::kRedLow);
  const std::size_t bytes = large.pixels().size_bytes();
  EXPECT_LT(residentPages(large.pixels().data(), bytes), 4u);  // nothing painted, nothing used
  for (int y = 0; y < 1000; ++y) {
    for (int x = 0; x < 1500; ++x) large.PSet(x, y, rgb(1, 2, 3));
  }
  EXPECT_GT(residentPages(large.pixels().data(), bytes), bytes / 4096 / 2);
  large.Cls();
  EXPECT_EQ(residentPages(large.pixels().data(), bytes), 0u);
  for (const auto pixel : large.pixels()) ASSERT_EQ(pixel, 0u);

  Canvas small(20, 20);  // below the size where handing pages back pays, the zeros are written
  small.keepPixelsIn(&PageMemory::process());
  small.PSet(19, 19, rgb(9, 9, 9));
  small.Cls();
  EXPECT_EQ(small.Point(19, 19), kBlack);
}

// A store that grows takes over only what holds paint: the rest of the new one stays untouched,
// and after Cls nothing at all, however large the old store was.
TEST(PageMemory, AGrowingStoreTouchesOnlyThePagesThatHoldPaint) {
  Canvas canvas(4096, 1024);
  canvas.keepPixelsIn(&PageMemory::process());
  for (int y = 0; y < 1024; ++y) {
    for (int x = 0; x < 4096; ++x) canvas.PSet(x, y, rgb(1, 2, 3));
  }
  canvas.Cls();
  canvas.PSet(17, 3, rgb(4, 5, 6));
  canvas.PSet(4095, 1023, rgb(7, 8, 9));
  (void)canvas.takeChanged();
  canvas.markChanged();  // a repaint asked for marks nothing as painted
  canvas.resize(4096, 4096);
  EXPECT_LE(residentPages(canvas.pixels().data(), canvas.pixels().size_bytes()), 2u * 16u);
  EXPECT_EQ(canvas.Point(17, 3), rgb(4, 5, 6));
  EXPECT_EQ(canvas.Point(4095, 1023), rgb(7, 8, 9));
}

}  // namespace
}  // namespace walkers
