// The web page's host: events handed in by the page's script, frames kept as an RGBA picture.
#pragma once

#include <cstdint>
#include <deque>
#include <optional>
#include <vector>

#include "host/core/loop.hpp"

namespace walkers {

// A browser page drives the loop itself, one step per animation frame, so this host never
// sleeps. The page hands it keys and sizes; each frame plan is carried out on an RGBA picture of
// the canvas's size (opaque, as a 2D canvas's ImageData wants it) and the rectangles it drew are
// listed for the page to put on its canvas element.
class WebHost : public Host {
 public:
  void waitUntil(LoopClock::time_point /*deadline*/) override {}
  std::optional<HostEvent> nextEvent() override;
  void present(const Canvas& canvas, const FramePlan& plan) override;
  // The browser paces the steps: every step is a display frame.
  LoopClock::duration framePeriod() const override { return LoopClock::duration::zero(); }

  void queue(const HostEvent& event) { events_.push_back(event); }
  void forgetEvents() { events_.clear(); }

  // The picture: width() x height() pixels, four bytes each (red, green, blue, 255), row by row.
  const std::uint32_t* picture() const { return picture_.data(); }
  int width() const override { return width_; }
  int height() const override { return height_; }
  // Rectangles of the picture changed since the page last took them, as left, top, right, bottom.
  const std::vector<std::int32_t>& changed() const { return changed_; }
  void forgetChanged() { changed_.clear(); }

 private:
  void reshape(int width, int height);
  void fill(const Rect& area);

  std::deque<HostEvent> events_;
  std::vector<std::uint32_t> picture_;
  int width_ = 0;
  int height_ = 0;
  std::vector<std::int32_t> changed_;
};

}  // namespace walkers
