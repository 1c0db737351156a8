// The pixels a Wayland surface is drawn in, at whole-number and fractional output scales.
#include <gtest/gtest.h>

#include "host/wayland/wayland_display.hpp"
#include "host/wayland/wayland_painted_surface.hpp"

namespace walkers {
namespace {

// A layer surface covers its output: the output's logical size is its own.
SurfacePixels covering(int width, int height, int modeWidth, int modeHeight, int scale,
                       int preferred120, bool viewporter) {
  return surfacePixels(width, height, {modeWidth, modeHeight, width, height, scale}, preferred120,
                       viewporter);
}

TEST(WaylandScale, WholeScalesKeepTheBufferScale) {
  // 1280x720 at scale 1 and 2: the logical size times the scale, no viewport.
  EXPECT_EQ(covering(1280, 720, 1280, 720, 1, 0, true), (SurfacePixels{1280, 720, 1, false}));
  EXPECT_EQ(covering(640, 360, 1280, 720, 2, 0, true), (SurfacePixels{1280, 720, 2, false}));
  EXPECT_EQ(covering(426, 240, 1280, 720, 3, 0, true), (SurfacePixels{1278, 720, 3, false}));
  // An odd mode at scale 2 leaves the compositor's rounding alone.
  EXPECT_EQ(covering(640, 384, 1281, 768, 2, 0, true), (SurfacePixels{1280, 768, 2, false}));
}

TEST(WaylandScale, AFractionalScaleWithoutItsProtocolDrawsTheModesPixels) {
  // sway 1.7 at 1.5: logical 853x480, wl_output says 2; the screen has 1280x720 pixels.
  EXPECT_EQ(covering(853, 480, 1280, 720, 2, 0, true), (SurfacePixels{1280, 720, 1, true}));
  EXPECT_EQ(covering(1024, 576, 1280, 720, 2, 0, true), (SurfacePixels{1280, 720, 1, true}));
  // Below 1: more logical pixels than screen pixels.
  EXPECT_EQ(covering(2560, 1440, 1280, 720, 1, 0, true), (SurfacePixels{1280, 720, 1, true}));
}

TEST(WaylandScale, APreferredScaleGivesTheBufferSize) {
  EXPECT_EQ(covering(853, 480, 1280, 720, 2, 180, true), (SurfacePixels{1280, 720, 1, true}));
  EXPECT_EQ(covering(1024, 576, 1280, 720, 2, 150, true), (SurfacePixels{1280, 720, 1, true}));
  // A whole preferred scale is a buffer scale, whatever wl_output said.
  EXPECT_EQ(covering(640, 360, 1280, 720, 1, 240, true), (SurfacePixels{1280, 720, 2, false}));
}

TEST(WaylandScale, WithoutAViewporterTheBufferScaleStays) {
  EXPECT_EQ(covering(853, 480, 1280, 720, 2, 0, false), (SurfacePixels{1706, 960, 2, false}));
  EXPECT_EQ(covering(853, 480, 1280, 720, 2, 180, false), (SurfacePixels{1706, 960, 2, false}));
}

TEST(WaylandScale, AnUnknownModeKeepsTheBufferScale) {
  EXPECT_EQ(covering(853, 480, 0, 0, 2, 0, true), (SurfacePixels{1706, 960, 2, false}));
}

// The own window, 510x370 logical pixels, on an output of 1920x1080 pixels.
TEST(WaylandScale, AWindowHasItsLogicalSizeInScreenPixels) {
  const OutputPixels one{1920, 1080, 1920, 1080, 1};
  const OutputPixels two{1920, 1080, 960, 540, 2};
  const OutputPixels oneAndAHalf{1920, 1080, 1280, 720, 2};  // sway 1.7 says 2
  EXPECT_EQ(surfacePixels(510, 370, one, 0, true), (SurfacePixels{510, 370, 1, false}));
  EXPECT_EQ(surfacePixels(510, 370, two, 0, true), (SurfacePixels{1020, 740, 2, false}));
  EXPECT_EQ(surfacePixels(510, 370, oneAndAHalf, 0, true), (SurfacePixels{765, 555, 1, true}));
  // A compositor with the fractional scale protocol says so itself.
  EXPECT_EQ(surfacePixels(510, 370, oneAndAHalf, 180, true), (SurfacePixels{765, 555, 1, true}));
  EXPECT_EQ(surfacePixels(510, 370, two, 240, true), (SurfacePixels{1020, 740, 2, false}));
  // 1.25: 637.5 rounds up, as the protocol asks.
  EXPECT_EQ(surfacePixels(510, 370, {1920, 1080, 1536, 864, 2}, 0, true),
            (SurfacePixels{638, 463, 1, true}));
  // Fullscreen it is the output's logical size: exactly the mode.
  EXPECT_EQ(surfacePixels(1280, 720, oneAndAHalf, 0, true), (SurfacePixels{1920, 1080, 1, true}));
}

TEST(WaylandScale, AWindowOnAnOutputOfUnknownLogicalSizeKeepsTheBufferScale) {
  // A compositor without xdg-output: wl_output's whole number, the compositor shrinking it.
  EXPECT_EQ(surfacePixels(510, 370, {1920, 1080, 0, 0, 2}, 0, true),
            (SurfacePixels{1020, 740, 2, false}));
  EXPECT_EQ(surfacePixels(510, 370, {}, 0, true), (SurfacePixels{510, 370, 1, false}));
}

TEST(WaylandScale, AnOutputsPixelsAreTurnedWithIt) {
  WaylandOutput output;
  output.width = 1920;
  output.height = 1080;
  output.logicalWidth = 720;
  output.logicalHeight = 1280;
  output.scale = 2;
  output.transform = 1;  // 90 degrees
  EXPECT_EQ(outputPixels(output), (OutputPixels{1080, 1920, 720, 1280, 2}));
  output.transform = 2;  // 180 degrees
  EXPECT_EQ(outputPixels(output), (OutputPixels{1920, 1080, 720, 1280, 2}));
}

}  // namespace
}  // namespace walkers
