// Tests of the canvas rules: black background, -1 outside, PSet/Point agreement, Cls and resize.
#include "engine/canvas.hpp"

#include <gtest/gtest.h>

#include <map>
#include <utility>

#include "tests/support/host_memory.hpp"

namespace walkers {
namespace {

TEST(Canvas, BlackInsideMinusOneOutsideAndPSetOutsideChangesNothing) {
  Canvas canvas(7, 5);
  for (auto [x, y] : {std::pair{-5, 10}, {-1, 0}, {0, -1}, {7, 0}, {0, 5}, {-32768, 32767}}) {
    canvas.PSet(x, y, rgb(9, 9, 9));
    EXPECT_EQ(canvas.Point(x, y), kOutside) << x << "," << y;
  }
  for (const auto pixel : canvas.pixels()) ASSERT_EQ(pixel, 0u);
}

TEST(Canvas, PointReadsBackPSetFromRowMajorPackedBufferUntilCls) {
  Canvas canvas(4, 3);
  canvas.PSet(3, 2, rgb(254, 5, 128));
  canvas.view().PSet(1, 0, rgb(1, 2, 3));
  EXPECT_EQ(canvas.Point(3, 2), 254 + 256 * 5 + 65536 * 128);
  EXPECT_EQ(canvas.pixels()[2 * 4 + 3], 254u + 256u * 5u + 65536u * 128u);
  EXPECT_EQ(canvas.Point(1, 0), rgb(1, 2, 3));
  EXPECT_EQ(canvas.pixels()[1], 1u + 256u * 2u + 65536u * 3u);
  EXPECT_EQ(canvas.Point(2, 2), kBlack);
  canvas.Cls();
  for (const auto pixel : canvas.pixels()) ASSERT_EQ(pixel, 0u);
}

// Changes are reported per run of neighbouring tiles, trimmed to the rows and columns painted in
// it, and clipped to the area; a cleared canvas is reported whole.
TEST(Canvas, ChangedRectanglesCoverEveryPaintAndNothingElse) {
  const int side = kTileSide;
  const int width = 3 * side + 5;
  Canvas canvas(width, 2 * side + 3);
  EXPECT_EQ(canvas.takeChanged(), (std::vector<Rect>{{0, 0, width, side},
                                                     {0, side, width, 2 * side},
                                                     {0, 2 * side, width, 2 * side + 3}}));
  EXPECT_TRUE(canvas.takeChanged().empty());

  const auto paint = [&canvas](int x, int y) { canvas.view().PSet(x, y, rgb(1, 1, 1)); };
  for (int x = 3; x < side + 5; ++x) paint(x, 7);  // a stroke across two tiles: one row of it
  for (int y = side; y < 2 * side; ++y) paint(2 * side + 9, y);  // down one tile: one column
  paint(3 * side + 4, 2 * side + 2);                             // last, partial tile
  paint(side + 2, 3);  // another paint in the stroke's tiles widens it to both rows
  paint(-1, 5);        // outside: no change
  EXPECT_EQ(canvas.takeChanged(),
            (std::vector<Rect>{{3, 3, side + 5, 8},
                               {2 * side + 9, side, 2 * side + 10, 2 * side},
                               {3 * side + 4, 2 * side + 2, width, 2 * side + 3}}));
  canvas.Cls();
  EXPECT_EQ(canvas.takeChanged().size(), 3u);

  Canvas wide(43 * side, side);  // clean stretches are skipped eight tiles at a time
  (void)wide.takeChanged();
  for (const int tile : {8, 16, 42}) wide.PSet(tile * side + 1, 0, rgb(1, 1, 1));
  EXPECT_EQ(wide.takeChanged(), (std::vector<Rect>{{8 * side + 1, 0, 8 * side + 2, 1},
                                                   {16 * side + 1, 0, 16 * side + 2, 1},
                                                   {42 * side + 1, 0, 42 * side + 2, 1}}));
}

// Shrinking hides pixels without losing them; only Cls clears what is hidden.
TEST(Canvas, ResizeHidesPixelsUntilTheAreaGrowsBackAndClsClearsThemToo) {
  Canvas canvas(4, 3);
  canvas.PSet(1, 1, rgb(50, 60, 70));
  canvas.PSet(3, 2, rgb(80, 90, 100));
  canvas.resize(6, 2);  // wider, shorter: (3, 2) falls outside
  EXPECT_EQ(canvas.Point(1, 1), rgb(50, 60, 70));
  EXPECT_EQ(canvas.Point(3, 2), kOutside);
  canvas.PSet(3, 2, rgb(1, 1, 1));  // outside the area: no effect on the hidden pixel
  EXPECT_EQ(canvas.Point(5, 1), kBlack);
  canvas.resize(1, 1);
  EXPECT_EQ(canvas.Point(1, 1), kOutside);
  canvas.resize(0, 0);
  EXPECT_EQ(canvas.Point(0, 0), kOutside);
  canvas.resize(6, 3);  // everything painted shows again, as it was
  EXPECT_EQ(canvas.Point(3, 2), rgb(80, 90, 100));
  EXPECT_EQ(canvas.Point(1, 1), rgb(50, 60, 70));
  EXPECT_EQ(canvas.Point(5, 2), kBlack);
  EXPECT_EQ(canvas.row(2)[3], static_cast<std::uint32_t>(rgb(80, 90, 100)));

  canvas.resize(2, 2);
  canvas.Cls();
  canvas.resize(6, 3);
  for (int y = 0; y < 3; ++y) {
    for (int x = 0; x < 6; ++x) ASSERT_EQ(canvas.Point(x, y), kBlack) << x << "," << y;
  }
}

// Past the cap on a stored side the area is black and outside; nothing more is allocated.
TEST(Canvas, AreaBeyondTheStoredCapIsOutsideAndCostsNoStore) {
  Canvas canvas(10, 10, 16);
  canvas.PSet(9, 9, rgb(7, 7, 7));
  canvas.resize(40000, 12);
  EXPECT_EQ(canvas.width(), 40000);
  EXPECT_EQ(canvas.storedWidth(), 16);
  EXPECT_EQ(canvas.storedHeight(), 12);
  EXPECT_EQ(canvas.pixels().size(), 16u * 12u);
  EXPECT_EQ(canvas.Point(9, 9), rgb(7, 7, 7));
  canvas.PSet(15, 11, rgb(8, 8, 8));
  EXPECT_EQ(canvas.Point(15, 11), rgb(8, 8, 8));
  canvas.PSet(16, 0, rgb(8, 8, 8));
  EXPECT_EQ(canvas.Point(16, 0), kOutside);
  EXPECT_EQ(canvas.Point(39999, 11), kOutside);
  const auto changed = canvas.takeChanged();  // only the stored part is ever reported
  for (const Rect& part : changed) EXPECT_LE(part.right, 16);

  Canvas wall(8192, 4320);  // the default cap leaves the largest displays whole
  EXPECT_EQ(wall.storedWidth(), 8192);
  EXPECT_EQ(wall.storedHeight(), 4320);
}

TEST(Canvas, KeepsPixelsInAHostsMemoryInItsOrderThroughGrowthClsAndRefusal) {
  HostMemory memory(10);
  {
    Canvas canvas(20, 10);
    canvas.PSet(3, 4, rgb(1, 2, 3));
    canvas.keepPixelsIn(&memory);
    ASSERT_TRUE(memory.holds(canvas));
    EXPECT_EQ(canvas.order(), PixelOrder::kRedHigh);
    EXPECT_EQ(canvas.row(4)[3], static_cast<std::uint32_t>(rgb(3, 2, 1)));
    canvas.PSet(5, 5, rgb(10, 20, 30));
    EXPECT_EQ(canvas.row(5)[5], static_cast<std::uint32_t>(rgb(30, 20, 10)));
    canvas.resize(40, 20);  // a new block; the old one goes back
    EXPECT_TRUE(memory.holds(canvas));
    EXPECT_EQ(memory.held(), 1u);
    EXPECT_EQ(canvas.Point(3, 4), rgb(1, 2, 3));
    EXPECT_EQ(canvas.Point(5, 5), rgb(10, 20, 30));
    canvas.Cls();
    for (const auto pixel : canvas.pixels()) ASSERT_EQ(pixel, 0u);
  }
  EXPECT_EQ(memory.held(), 0u);

  // Memory refused now changes nothing; refused on growth, the store grows in the canvas's own
  // memory and keeps the order; back in its own memory, the canvas stores colour values again.
  Canvas canvas(8, 8);
  canvas.PSet(1, 1, rgb(9, 8, 7));
  HostMemory none(0);
  canvas.keepPixelsIn(&none);
  EXPECT_EQ(canvas.order(), PixelOrder::kRedLow);
  HostMemory once(1);
  canvas.keepPixelsIn(&once);
  ASSERT_TRUE(once.holds(canvas));
  canvas.resize(16, 16);
  EXPECT_EQ(once.held(), 0u);
  EXPECT_EQ(canvas.order(), PixelOrder::kRedHigh);
  EXPECT_EQ(canvas.row(1)[1], static_cast<std::uint32_t>(rgb(7, 8, 9)));
  EXPECT_EQ(canvas.Point(1, 1), rgb(9, 8, 7));
  canvas.keepPixelsIn(nullptr);
  EXPECT_EQ(canvas.order(), PixelOrder::kRedLow);
  EXPECT_EQ(canvas.row(1)[1], static_cast<std::uint32_t>(rgb(9, 8, 7)));
}

// Through any sequence of resizes, frames and repaints, every pixel reads back what was last
// painted there since Cls, on tile edges and ragged last tiles alike.
TEST(Canvas, EveryPaintedPixelSurvivesAnySequenceOfResizes) {
  const std::pair<int, int> sizes[] = {{37, 29}, {20, 61},  {70, 17}, {3, 3},    {95, 80},
                                       {16, 16}, {129, 33}, {0, 0},   {130, 90}, {200, 140}};
  Canvas canvas(1, 1);
  std::map<std::pair<int, int>, Colour> painted;
  int step = 0;
  for (const auto& [width, height] : sizes) {
    canvas.resize(width, height);
    for (int y = step % 5; y < height; y += 7) {
      for (int x = step % 3; x < width; x += 5) {
        const Colour colour = rgb(x % 256, y % 256, ++step % 255 + 1);
        canvas.PSet(x, y, colour);
        painted[{x, y}] = colour;
      }
    }
    if (step % 2 == 0) (void)canvas.takeChanged();
    if (step % 3 == 0) canvas.markChanged();
  }
  for (int y = 0; y < 140; ++y) {
    for (int x = 0; x < 200; ++x) {
      const auto found = painted.find({x, y});
      ASSERT_EQ(canvas.Point(x, y), found == painted.end() ? kBlack : found->second)
          << x << "," << y;
    }
  }
}

}  // namespace
}  // namespace walkers
