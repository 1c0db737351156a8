// What one frame draws, worked out once for every host: stored pixels to copy and areas to blacken.
#pragma once

#include <optional>
#include <vector>

#include "engine/canvas.hpp"

namespace walkers {

// One frame's drawing, in window coordinates. A host copies each `copy` rectangle from the
// canvas (always within its stored part) to the same place on the screen and fills each `black`
// rectangle (always beyond the stored part, within the drawing area) with black. The two lists
// never overlap.
struct FramePlan {
  std::vector<Rect> copy;
  std::vector<Rect> black;
  bool empty() const { return copy.empty() && black.empty(); }
};

// Works out each frame from the canvas and from what the host last showed. The canvas reports
// changes within its stored part only; the planner adds the black beyond it whenever the shape
// shown changes (a resize, a store that grew) and whatever the host said it lost.
class FramePlanner {
 public:
  // The host lost the picture in `area` (another window uncovered it, a surface was dropped):
  // the next frame draws that area again. Parts beyond the drawing area are ignored.
  void lost(const Rect& area);
  // Whether the next frame has something to draw even if nothing on the canvas changed.
  bool pending() const { return lost_.has_value(); }
  // The frame that brings the screen up to date with `canvas`, whose changed rectangles since
  // the last frame are `changed`. Valid until the next call.
  const FramePlan& next(const Canvas& canvas, const std::vector<Rect>& changed);

 private:
  struct Shape {
    int width = -1;
    int height = -1;
    int storedWidth = -1;
    int storedHeight = -1;
    bool operator==(const Shape&) const = default;
  };
  void addBlack(const Rect& area);
  void addArea(const Rect& area, const Shape& shape);

  Shape shown_;
  std::optional<Rect> lost_;
  FramePlan plan_;
};

}  // namespace walkers
