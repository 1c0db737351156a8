// The pixels a Wayland surface is drawn in, at whole-number and fractional output scales.
#include <gtest/gtest.h>

#include "host/wayland/wayland_surface.hpp"

namespace walkers {
namespace {

TEST(WaylandScale, WholeScalesKeepTheBufferScale) {
  // 1280x720 at scale 1 and 2: the logical size times the scale, no viewport.
  EXPECT_EQ(surfacePixels(1280, 720, 1280, 720, 1, 0, true), (SurfacePixels{1280, 720, 1, false}));
  EXPECT_EQ(surfacePixels(640, 360, 1280, 720, 2, 0, true), (SurfacePixels{1280, 720, 2, false}));
  EXPECT_EQ(surfacePixels(426, 240, 1280, 720, 3, 0, true), (SurfacePixels{1278, 720, 3, false}));
  // An odd mode at scale 2 leaves the compositor's rounding alone.
  EXPECT_EQ(surfacePixels(640, 384, 1281, 768, 2, 0, true), (SurfacePixels{1280, 768, 2, false}));
}

TEST(WaylandScale, AFractionalScaleWithoutItsProtocolDrawsTheModesPixels) {
  // sway 1.7 at 1.5: logical 853x480, wl_output says 2; the screen has 1280x720 pixels.
  EXPECT_EQ(surfacePixels(853, 480, 1280, 720, 2, 0, true), (SurfacePixels{1280, 720, 1, true}));
  EXPECT_EQ(surfacePixels(1024, 576, 1280, 720, 2, 0, true), (SurfacePixels{1280, 720, 1, true}));
  // Below 1: more logical pixels than screen pixels.
  EXPECT_EQ(surfacePixels(2560, 1440, 1280, 720, 1, 0, true), (SurfacePixels{1280, 720, 1, true}));
}

TEST(WaylandScale, APreferredScaleGivesTheBufferSize) {
  EXPECT_EQ(surfacePixels(853, 480, 1280, 720, 2, 180, true), (SurfacePixels{1280, 720, 1, true}));
  EXPECT_EQ(surfacePixels(1024, 576, 1280, 720, 2, 150, true), (SurfacePixels{1280, 720, 1, true}));
  // A whole preferred scale is a buffer scale, whatever wl_output said.
  EXPECT_EQ(surfacePixels(640, 360, 1280, 720, 1, 240, true), (SurfacePixels{1280, 720, 2, false}));
}

TEST(WaylandScale, WithoutAViewporterTheBufferScaleStays) {
  EXPECT_EQ(surfacePixels(853, 480, 1280, 720, 2, 0, false), (SurfacePixels{1706, 960, 2, false}));
  EXPECT_EQ(surfacePixels(853, 480, 1280, 720, 2, 180, false),
            (SurfacePixels{1706, 960, 2, false}));
}

TEST(WaylandScale, AnUnknownModeKeepsTheBufferScale) {
  EXPECT_EQ(surfacePixels(853, 480, 0, 0, 2, 0, true), (SurfacePixels{1706, 960, 2, false}));
}

}  // namespace
}  // namespace walkers
