// Tests of the web page's host: each frame becomes an opaque RGBA picture of the canvas's size.
#include "host/web/web_host.hpp"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <cstring>
#include <vector>

namespace walkers {
namespace {

using Rgba = std::array<std::uint8_t, 4>;

Rgba at(const WebHost& host, int x, int y) {
  Rgba pixel{};
  std::memcpy(pixel.data(), host.picture() + y * host.width() + x, pixel.size());
  return pixel;
}

TEST(WebHost, FramesBecomeAnOpaquePictureOfTheCanvasListingWhatChanged) {
  WebHost host;
  FramePlanner planner;
  Canvas canvas(40, 20);
  canvas.PSet(3, 2, rgb(10, 20, 30));
  host.present(canvas, planner.next(canvas, canvas.takeChanged()));
  EXPECT_EQ(host.changed(), (std::vector<std::int32_t>{0, 0, 40, 20}));  // a new size: all of it
  EXPECT_EQ(at(host, 3, 2), (Rgba{10, 20, 30, 255}));
  EXPECT_EQ(at(host, 0, 0), (Rgba{0, 0, 0, 255}));

  host.forgetChanged();
  canvas.PSet(35, 17, rgb(1, 2, 3));
  host.present(canvas, planner.next(canvas, canvas.takeChanged()));
  EXPECT_EQ(host.changed(), (std::vector<std::int32_t>{35, 17, 36, 18}));
  EXPECT_EQ(at(host, 35, 17), (Rgba{1, 2, 3, 255}));

  host.forgetChanged();
  canvas.resize(60, 10);  // kept paint where it still shows, black where it never was
  host.present(canvas, planner.next(canvas, canvas.takeChanged()));
  ASSERT_EQ(host.width(), 60);
  ASSERT_EQ(host.height(), 10);
  EXPECT_EQ(host.changed(), (std::vector<std::int32_t>{0, 0, 60, 10}));
  EXPECT_EQ(at(host, 3, 2), (Rgba{10, 20, 30, 255}));
  EXPECT_EQ(at(host, 50, 5), (Rgba{0, 0, 0, 255}));
}

}  // namespace
}  // namespace walkers
