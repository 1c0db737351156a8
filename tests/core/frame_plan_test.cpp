// Tests of the frame plan: what each frame copies and blackens, judged on a model screen.
#include "host/core/frame_plan.hpp"

#include <gtest/gtest.h>

#include <functional>
#include <random>

namespace walkers {
namespace {

constexpr Colour kScribble = -2;  // what a screen shows where it lost the picture

// A screen that carries out plans, to compare with what the canvas should look like.
struct Screen {
  int width = 0;
  int height = 0;
  std::vector<Colour> pixels;

  void resize(int w, int h) {
    std::vector<Colour> next(static_cast<std::size_t>(w) * static_cast<std::size_t>(h), kScribble);
    for (int y = 0; y < std::min(h, height); ++y) {
      for (int x = 0; x < std::min(w, width); ++x) {
        next[static_cast<std::size_t>(y) * static_cast<std::size_t>(w) +
             static_cast<std::size_t>(x)] = at(x, y);
      }
    }
    width = w;
    height = h;
    pixels = std::move(next);
  }
  Colour& at(int x, int y) {
    return pixels[static_cast<std::size_t>(y) * static_cast<std::size_t>(width) +
                  static_cast<std::size_t>(x)];
  }
  void fill(const Rect& area, const std::function<Colour(int, int)>& colour) {
    for (int y = std::max(area.top, 0); y < std::min(area.bottom, height); ++y) {
      for (int x = std::max(area.left, 0); x < std::min(area.right, width); ++x) {
        at(x, y) = colour(x, y);
      }
    }
  }
  void carryOut(const Canvas& canvas, const FramePlan& plan) {
    for (const Rect& part : plan.black) {
      EXPECT_TRUE(part.left >= canvas.storedWidth() || part.top >= canvas.storedHeight());
      fill(part, [](int, int) { return kBlack; });
    }
    for (const Rect& part : plan.copy) {
      ASSERT_LE(part.right, canvas.storedWidth());
      ASSERT_LE(part.bottom, canvas.storedHeight());
      fill(part, [&](int x, int y) { return static_cast<Colour>(canvas.row(y)[x]); });
    }
  }
  // Whether the screen shows the canvas: its pixels, and black beyond the stored part.
  bool shows(const Canvas& canvas) {
    for (int y = 0; y < height; ++y) {
      for (int x = 0; x < width; ++x) {
        const Colour expected = canvas.Point(x, y) == kOutside ? kBlack : canvas.Point(x, y);
        if (at(x, y) != expected) return false;
      }
    }
    return true;
  }
};

TEST(FramePlan, FirstFrameCopiesChangesAndBlackensBeyondTheStore) {
  Canvas canvas(40, 30, 32);  // stores 32x30 of 40x30
  canvas.PSet(3, 4, rgb(1, 2, 3));
  FramePlanner planner;
  const FramePlan& first = planner.next(canvas, canvas.takeChanged());
  EXPECT_EQ(first.black, (std::vector<Rect>{{32, 0, 40, 30}}));
  EXPECT_EQ(first.copy, (std::vector<Rect>{{0, 0, 32, 16}, {0, 16, 32, 30}}));
  EXPECT_TRUE(planner.next(canvas, canvas.takeChanged()).empty()) << "nothing changed";

  canvas.PSet(20, 20, rgb(1, 1, 1));
  const FramePlan& one = planner.next(canvas, canvas.takeChanged());
  EXPECT_EQ(one.copy, (std::vector<Rect>{{20, 20, 21, 21}}));
  EXPECT_TRUE(one.black.empty()) << "the shape shown did not change";

  canvas.resize(40, 50);  // taller: 32x32 stored, black right and below
  const FramePlan& grown = planner.next(canvas, canvas.takeChanged());
  EXPECT_EQ(grown.black, (std::vector<Rect>{{32, 0, 40, 50}, {0, 32, 32, 50}}));
}

TEST(FramePlan, ALostAreaIsDrawnAgainOnceAndChangesInsideItOnlyOnce) {
  Canvas canvas(40, 30, 32);
  FramePlanner planner;
  (void)planner.next(canvas, canvas.takeChanged());
  EXPECT_FALSE(planner.pending());
  planner.lost({20, 10, 1000, 20});  // reaches beyond the store and beyond the window
  planner.lost({16, 0, 30, 12});
  EXPECT_TRUE(planner.pending());
  canvas.PSet(26, 6, rgb(9, 9, 9));  // inside the lost area
  canvas.PSet(1, 25, rgb(9, 9, 9));  // outside it
  const FramePlan& plan = planner.next(canvas, canvas.takeChanged());
  EXPECT_EQ(plan.copy, (std::vector<Rect>{{16, 0, 32, 20}, {1, 25, 2, 26}}));
  EXPECT_EQ(plan.black, (std::vector<Rect>{{32, 0, 40, 20}}));
  EXPECT_FALSE(planner.pending());
  EXPECT_TRUE(planner.next(canvas, canvas.takeChanged()).empty());
  planner.lost({50, 50, 60, 60});  // wholly outside the window: nothing to draw
  EXPECT_TRUE(planner.next(canvas, {}).empty());
  planner.lost({5, 5, 5, 9});  // empty
  EXPECT_FALSE(planner.pending());
}

// Random paints, resizes (beyond the store too) and lost areas: after every frame the model
// screen shows exactly the canvas, black beyond its store.
TEST(FramePlan, KeepsAScreenExactlyUpToDate) {
  std::mt19937 random(7);  // NOLINT(cert-msc51-cpp): the same sequence every run
  const auto below = [&](int n) { return static_cast<int>(random() % static_cast<unsigned>(n)); };
  Canvas canvas(30, 20, 48);
  Screen screen;
  screen.resize(30, 20);
  FramePlanner planner;
  for (int frame = 0; frame < 400; ++frame) {
    for (int k = below(20); k > 0; --k) {
      canvas.PSet(below(64), below(64), rgb(below(255) + 1, below(256), below(256)));
    }
    if (below(10) == 0) {
      const int w = below(64) + 1;
      const int h = below(64) + 1;
      canvas.resize(w, h);
      screen.resize(w, h);
    }
    if (below(8) == 0) {
      const Rect lost{below(70), below(70), below(70), below(70)};
      screen.fill(lost, [](int, int) { return kScribble; });
      planner.lost(lost);
    }
    if (below(50) == 0) canvas.Cls();
    screen.carryOut(canvas, planner.next(canvas, canvas.takeChanged()));
    ASSERT_TRUE(screen.shows(canvas)) << "frame " << frame;
  }
}

}  // namespace
}  // namespace walkers
