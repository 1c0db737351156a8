// Tests of the form's key handler and its timer handler working together.
#include "host/form.hpp"

#include <gtest/gtest.h>

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
