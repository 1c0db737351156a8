// Tests of canvas pixels kept in pages from the system: zero when given, and cleared by handing
// the pages back.
#include "host/unix/page_memory.hpp"

#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <vector>

namespace walkers {
namespace {

// How many of the pages under `bytes` bytes from `start` are resident.
std::size_t residentPages(const void* start, std::size_t bytes) {
  const auto page = static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
  std::vector<unsigned char> pages((bytes + page - 1) / page);
  EXPECT_EQ(::mincore(const_cast<void*>(start), bytes, pages.data()), 0);
  std::size_t resident = 0;
  for (const unsigned char flags : pages) resident += flags & 1;
  return resident;
}

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

}  // namespace
}  // namespace walkers
