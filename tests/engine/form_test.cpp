// Tests of the form's key handler and its timer handler working together.
#include "engine/form.hpp"

#include <gtest/gtest.h>

#include <algorithm>

namespace walkers {
namespace {

bool allBlack(const Canvas& canvas) {
  for (const auto pixel : canvas.pixels())
    if (pixel != 0) return false;
  return true;
}

TEST(Form, EnterClearsAndTheNextTickSeedsAtTheCurrentCentre) {
  Form form(40, 30, Random{std::uint64_t{3}});
  for (int t = 0; t < 200; ++t) form.t_Timer();
  EXPECT_FALSE(allBlack(form.canvas()));

  EXPECT_EQ(form.Form_KeyPress(kKeyEnter), KeyOutcome::kNone);
  EXPECT_EQ(form.Form_KeyPress(kKeyEnter), KeyOutcome::kNone);  // twice is the same as once
  EXPECT_TRUE(allBlack(form.canvas()));
  EXPECT_FALSE(form.pattern().seeded());

  form.canvas().resize(100, 60);  // the size at the next tick is what counts
  form.t_Timer();
  EXPECT_EQ(form.pattern().posX()[0], 49);
  EXPECT_EQ(form.pattern().posY()[0], 30);
  EXPECT_EQ(form.pattern().activeCount(), 1);
}

TEST(Form, EnterBeforeTheFirstTickChangesNothingTheFirstTickWouldSee) {
  Form pressed(40, 30, Random{std::uint64_t{5}});
  Form plain(40, 30, Random{std::uint64_t{5}});
  EXPECT_EQ(pressed.Form_KeyPress(kKeyEnter), KeyOutcome::kNone);
  EXPECT_TRUE(allBlack(pressed.canvas()));
  for (int t = 0; t < 100; ++t) pressed.t_Timer(), plain.t_Timer();
  EXPECT_TRUE(pressed.pattern().seeded());
  EXPECT_TRUE(std::ranges::equal(pressed.canvas().pixels(), plain.canvas().pixels()));
}

// Enter only clears and asks for a seeding: the table keeps its walkers until the next tick.
TEST(Form, EnterLeavesTheWalkerTableAsItIsUntilTheNextSeeding) {
  Form form(60, 40, Random{std::uint64_t{8}});
  for (int t = 0; t < 300; ++t) form.t_Timer();
  const Walkers before = form.pattern();
  ASSERT_GT(before.activeCount(), 1u);
  form.Form_KeyPress(kKeyEnter);
  EXPECT_EQ(form.pattern().posX(), before.posX());
  EXPECT_EQ(form.pattern().posY(), before.posY());
  EXPECT_EQ(form.pattern().heading(), before.heading());
  EXPECT_EQ(form.pattern().stepsLeft(), before.stepsLeft());
  form.t_Timer();
  EXPECT_EQ(form.pattern().activeCount(), 1u);
}

// The canvas size is read when a pattern is seeded, never in between.
TEST(Form, ResizeAfterSeedingDoesNotMoveTheSeedWalker) {
  Form resized(100, 60, Random{std::uint64_t{4}});
  Form kept(100, 60, Random{std::uint64_t{4}});
  resized.t_Timer();
  kept.t_Timer();
  resized.canvas().resize(20, 10);
  resized.t_Timer();
  kept.t_Timer();
  EXPECT_EQ(resized.pattern().posX()[0], kept.pattern().posX()[0]);
  EXPECT_EQ(resized.pattern().posY()[0], kept.pattern().posY()[0]);
  EXPECT_GE(resized.pattern().posX()[0], 47);  // nowhere near the new centre (10, 5)
}

TEST(Form, OtherKeysLeaveCanvasAndPatternAlone) {
  Form form(40, 30, Random{std::uint64_t{3}});
  for (int t = 0; t < 50; ++t) form.t_Timer();
  const std::vector<std::uint32_t> before(form.canvas().pixels().begin(),
                                          form.canvas().pixels().end());
  const Walkers pattern = form.pattern();
  for (const int key :
       {0, 1, 8, 10, 12, 14, 26, 28, 32, int{'a'}, int{'q'}, int{'Z'}, 127, 255, -13}) {
    EXPECT_EQ(form.Form_KeyPress(static_cast<std::int16_t>(key)), KeyOutcome::kNone) << key;
  }
  EXPECT_TRUE(std::equal(before.begin(), before.end(), form.canvas().pixels().begin()));
  EXPECT_EQ(form.pattern().posX(), pattern.posX());
  EXPECT_TRUE(form.pattern().seeded());
}

TEST(Form, EscapeAsksToEndAndTouchesNothing) {
  Form form(40, 30);
  form.t_Timer();
  EXPECT_EQ(form.Form_KeyPress(kKeyEscape), KeyOutcome::kEndProgram);
  EXPECT_TRUE(form.pattern().seeded());
}

}  // namespace
}  // namespace walkers
