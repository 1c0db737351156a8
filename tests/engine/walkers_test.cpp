// Tests of seeding and the walker step: draws, turns, branches, claim order and parked walkers.
#include "engine/walkers.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <tuple>

#include "tests/support/reference_model.hpp"
#include "tests/support/scripted_random.hpp"

namespace walkers {
namespace {

using testing::ReferenceModel;
using testing::ScriptedRandom;

const double kJustBelowOne = std::nextafter(1.0, 0.0);

TEST(Seeding, DrawsZeroGiveSmallestParametersAndCentreRoundsDown) {
  Canvas canvas(801, 601);
  Walkers pattern;
  ScriptedRandom random({}, 0.0);
  pattern.tick(canvas, random);
  EXPECT_EQ(random.reseeds, 1u);
  EXPECT_EQ(random.draws, 3u + 3u);  // seeding, then one walker's colour
  EXPECT_EQ(pattern.runLength(), 1);
  EXPECT_EQ(pattern.runFactor(), 1);
  EXPECT_EQ(pattern.lastWalker(), 101);
  EXPECT_TRUE(pattern.seeded());
  // Walker 0 started at (400, 300) and made its first move, left, in the seeding tick.
  EXPECT_EQ(pattern.posX()[0], 399);
  EXPECT_EQ(pattern.posY()[0], 300);
  EXPECT_EQ(canvas.Point(399, 300), rgb(5, 5, 5));
  EXPECT_EQ(canvas.Point(400, 300), kBlack);
}

TEST(Seeding, DrawsJustBelowOneGiveLargestParameters) {
  Canvas canvas(10, 10);
  Walkers pattern;
  ScriptedRandom random({}, kJustBelowOne);
  pattern.tick(canvas, random);
  EXPECT_EQ(pattern.runLength(), 20);
  EXPECT_EQ(pattern.runFactor(), 5);
  EXPECT_EQ(pattern.lastWalker(), 500);
  EXPECT_EQ(pattern.stepsLeft()[0], 99);  // full run 100, one step taken
  EXPECT_EQ(canvas.Point(4, 5), rgb(254, 254, 254));
}

TEST(Step, ColourDrawsAreRedThenGreenThenBlue) {
  Canvas canvas(9, 9);
  Walkers pattern;
  ScriptedRandom random({0.9, 0.9, 0.0, 0.0, 0.5, 0.996});
  pattern.tick(canvas, random);
  EXPECT_EQ(canvas.Point(3, 4), rgb(5, 130, 254));
}

// The 2 x 2 square: with runs of 1, walker 0 turns four times on black, then the fifth tick
// sets off a chain of branches round the painted square until every slot is taken.
TEST(Step, SquareChainFillsEverySlotInOneTick) {
  Canvas canvas(11, 11);  // centre (5, 5)
  Walkers pattern;
  ScriptedRandom random({}, 0.0);
  const std::tuple<int, int, int> firstFour[] = {{4, 5, 1}, {4, 4, 2}, {5, 4, 3}, {5, 5, 0}};
  for (const auto& [x, y, headingAfter] : firstFour) {
    pattern.tick(canvas, random);
    EXPECT_EQ(pattern.posX()[0], x);
    EXPECT_EQ(pattern.posY()[0], y);
    EXPECT_EQ(pattern.heading()[0], headingAfter);  // the last turn wraps down (3) to left (0)
    EXPECT_EQ(canvas.Point(x, y), rgb(5, 5, 5));
    EXPECT_EQ(pattern.activeCount(), 1);
  }
  pattern.tick(canvas, random);
  EXPECT_EQ(pattern.posX()[0], 4);
  EXPECT_EQ(pattern.heading()[0], kLeft);  // went straight on
  EXPECT_EQ(pattern.activeCount(), 102);
  for (int k = 0; k < kSlots; ++k) ASSERT_EQ(pattern.stepsLeft()[k], k <= 101 ? 1 : 0) << k;
  // Slot 1 was claimed at (4, 5) heading up and moved in the same tick; slot 4 came from the
  // down-heading slot 3 and so starts heading left.
  EXPECT_EQ(pattern.heading()[1], kUp);
  EXPECT_EQ(pattern.posX()[1], 4);
  EXPECT_EQ(pattern.posY()[1], 4);
  EXPECT_EQ(pattern.posX()[2], 5);
  EXPECT_EQ(pattern.posY()[2], 4);
  EXPECT_EQ(pattern.heading()[4], kLeft);
  EXPECT_EQ(random.draws, 3u + 3u * 4u + 3u * 102u);

  // Walker 0 now reaches black (3, 5) and turns; no slot is left to claim for anyone.
  pattern.tick(canvas, random);
  EXPECT_EQ(pattern.posX()[0], 3);
  EXPECT_EQ(pattern.heading()[0], kUp);
  EXPECT_EQ(pattern.activeCount(), 102);
}

TEST(Step, WalkerOffTheCanvasBranchesAndNeverTurns) {
  Canvas canvas(1, 1);
  Walkers pattern;
  ScriptedRandom random({}, 0.0);  // runs of 1: every step ends a run
  for (int t = 1; t <= 50; ++t) {
    pattern.tick(canvas, random);
    ASSERT_EQ(pattern.heading()[0], kLeft);
    ASSERT_EQ(pattern.posX()[0], -t);
  }
  EXPECT_EQ(pattern.activeCount(), 102);
  EXPECT_EQ(canvas.Point(-1, 0), kOutside);
}

TEST(Step, ReseedFreesEverySlotAndLeavesHigherSlotsAlone) {
  Canvas canvas(11, 11);
  Walkers pattern;
  ScriptedRandom wide({}, kJustBelowOne);  // lastWalker 500, long runs
  for (int t = 0; t < 2000; ++t) pattern.tick(canvas, wide);
  ASSERT_EQ(pattern.activeCount(), kSlots);
  const Walkers before = pattern;

  canvas.Cls();
  pattern.requestReseed();
  ScriptedRandom narrow({}, 0.0);  // lastWalker 101
  pattern.tick(canvas, narrow);
  EXPECT_EQ(pattern.stepsLeft()[0], 1);
  for (int k = 1; k < kSlots; ++k) ASSERT_EQ(pattern.stepsLeft()[k], 0) << k;
  for (int t = 0; t < 200; ++t) pattern.tick(canvas, narrow);
  for (int k = 102; k < kSlots; ++k) {
    ASSERT_EQ(pattern.stepsLeft()[k], 0) << k;
    ASSERT_EQ(pattern.posX()[k], before.posX()[k]) << k;
    ASSERT_EQ(pattern.posY()[k], before.posY()[k]) << k;
    ASSERT_EQ(pattern.heading()[k], before.heading()[k]) << k;
  }
}

// A walker that leaves the canvas for good parks at the end of the 16-bit range instead of
// overflowing; everything else goes on, identically to the reference model.
TEST(Step, CoordinatesParkAtTheSixteenBitLimit) {
  Canvas canvas(1, 1);
  Walkers pattern;
  ScriptedRandom random({}, kJustBelowOne);
  ReferenceModel<ScriptedRandom> model(1, 1, ScriptedRandom({}, kJustBelowOne));
  for (int t = 0; t < 40000; ++t) {
    pattern.tick(canvas, random);
    model.tick();
  }
  EXPECT_EQ(pattern.posX()[0], -32768);
  EXPECT_EQ(pattern.heading()[0], kLeft);
  int parked = 0;
  for (int k = 0; k < kSlots; ++k) {
    ASSERT_EQ(pattern.posX()[k], model.posX[k]) << k;
    ASSERT_EQ(pattern.posY()[k], model.posY[k]) << k;
    ASSERT_EQ(pattern.stepsLeft()[k], model.stepsLeft[k]) << k;
    parked += pattern.posX()[k] == -32768 || pattern.posX()[k] == 32767 ||
              pattern.posY()[k] == -32768 || pattern.posY()[k] == 32767;
  }
  EXPECT_GT(parked, 1);
}

TEST(Seeding, CanvasTooWideForSixteenBitCentreRaisesOverflow) {
  Walkers pattern;
  ScriptedRandom random;
  Canvas fits(65535, 1);
  EXPECT_NO_THROW(pattern.tick(fits, random));
  EXPECT_EQ(pattern.posX()[0], 32766);
  pattern.requestReseed();
  Canvas tooWide(65536, 1);
  EXPECT_THROW(pattern.tick(tooWide, random), OverflowError);
}

// The engine against the reference model, pixel for pixel and slot for slot, with real seeds.
class AgainstReferenceModel : public ::testing::TestWithParam<std::tuple<int, int, std::uint64_t>> {
};

TEST_P(AgainstReferenceModel, SamePictureAndTableAtEveryCheckpoint) {
  const auto [width, height, seed] = GetParam();
  Canvas canvas(width, height);
  Walkers pattern;
  Random random{seed};
  ReferenceModel<Random> model(width, height, Random{seed});
  int done = 0;
  for (const int checkpoint : {1, 2, 10, 100, 1000, 2500}) {
    for (; done < checkpoint; ++done) {
      pattern.tick(canvas, random);
      model.tick();
    }
    ASSERT_EQ(pattern.lastWalker(), model.lastWalker);
    ASSERT_EQ(pattern.fullRun(), model.runFactor * model.runLength);
    for (int k = 0; k < kSlots; ++k) {
      ASSERT_EQ(pattern.stepsLeft()[k], model.stepsLeft[k]) << "slot " << k << " tick " << done;
      if (model.stepsLeft[k] == 0) continue;
      ASSERT_EQ(pattern.posX()[k], model.posX[k]) << "slot " << k << " tick " << done;
      ASSERT_EQ(pattern.posY()[k], model.posY[k]) << "slot " << k << " tick " << done;
      ASSERT_EQ(pattern.heading()[k], model.heading[k]) << "slot " << k << " tick " << done;
    }
    const auto pixels = canvas.pixels();
    for (std::size_t p = 0; p < pixels.size(); ++p) {
      ASSERT_EQ(static_cast<std::int32_t>(pixels[p]), model.pixels()[p]) << "pixel " << p;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
    SizesAndSeeds, AgainstReferenceModel,
    ::testing::Values(std::tuple{1, 1, std::uint64_t{1}}, std::tuple{2, 3, std::uint64_t{0}},
                      std::tuple{17, 9, std::uint64_t{42}}, std::tuple{64, 200, UINT64_MAX},
                      std::tuple{510, 370, std::uint64_t{2389}},
                      std::tuple{510, 370, std::uint64_t{7}}, std::tuple{33, 1, std::uint64_t{5}}));

}  // namespace
}  // namespace walkers
