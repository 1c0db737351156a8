// Tests of the canvas rules: black background, -1 outside, PSet/Point agreement, Cls and resize.
#include "engine/canvas.hpp"

#include <gtest/gtest.h>

namespace walkers {
namespace {

TEST(Canvas, BlackInsideMinusOneOutsideAndPSetOutsideChangesNothing) {
  Canvas canvas(7, 5);
  EXPECT_EQ(canvas.ScaleWidth(), 7.0f);
  EXPECT_EQ(canvas.ScaleHeight(), 5.0f);
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

// Changes are reported in tiles, merged along each row of tiles and clipped to the area.
TEST(Canvas, ChangedRectanglesCoverEveryPaintAndNothingElse) {
  const int side = kTileSide;
  Canvas canvas(3 * side + 5, 2 * side + 3);
  const int width = 3 * side + 5;
  EXPECT_EQ(canvas.takeChanged(), (std::vector<Rect>{{0, 0, width, side},
                                                     {0, side, width, 2 * side},
                                                     {0, 2 * side, width, 2 * side + 3}}));
  EXPECT_TRUE(canvas.takeChanged().empty());

  canvas.PSet(1, 1, rgb(1, 1, 1));
  canvas.PSet(side + 2, 3, rgb(1, 1, 1));  // next tile along: merged with the first
  canvas.view().PSet(3 * side + 4, 2 * side + 2, rgb(1, 1, 1));  // last, partial tile
  canvas.view().PSet(-1, 5, rgb(1, 1, 1));                       // outside: no change
  EXPECT_EQ(canvas.takeChanged(),
            (std::vector<Rect>{{0, 0, 2 * side, side},
                               {3 * side, 2 * side, 3 * side + 5, 2 * side + 3}}));
  canvas.Cls();
  EXPECT_EQ(canvas.takeChanged().size(), 3u);
}

TEST(Canvas, ResizeKeepsTheOverlapAndBlackensNewPixels) {
  Canvas canvas(4, 3);
  canvas.PSet(1, 1, rgb(50, 60, 70));
  canvas.PSet(3, 2, rgb(80, 90, 100));
  canvas.resize(6, 2);  // wider, shorter: (3, 2) falls outside
  EXPECT_EQ(canvas.Point(1, 1), rgb(50, 60, 70));
  EXPECT_EQ(canvas.Point(3, 2), kOutside);
  EXPECT_EQ(canvas.Point(5, 1), kBlack);
  canvas.resize(4, 3);  // what fell outside does not come back
  EXPECT_EQ(canvas.Point(3, 2), kBlack);
  EXPECT_EQ(canvas.Point(1, 1), rgb(50, 60, 70));
  canvas.resize(0, 0);
  EXPECT_EQ(canvas.Point(0, 0), kOutside);
  EXPECT_TRUE(canvas.pixels().empty());
}

}  // namespace
}  // namespace walkers
