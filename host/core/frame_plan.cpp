// Working out a frame: the canvas's changes, the black beyond its stored part, and lost areas.
#include "host/core/frame_plan.hpp"

#include <algorithm>

namespace walkers {
namespace {

bool isEmpty(const Rect& area) { return area.left >= area.right || area.top >= area.bottom; }

Rect intersection(const Rect& a, const Rect& b) {
  return {std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
          std::min(a.bottom, b.bottom)};
}

bool contains(const Rect& outer, const Rect& inner) {
  return outer.left <= inner.left && outer.top <= inner.top && inner.right <= outer.right &&
         inner.bottom <= outer.bottom;
}

}  // namespace

void FramePlanner::lost(const Rect& area) {
  if (isEmpty(area)) return;
  if (!lost_) {
    lost_ = area;
    return;
  }
  lost_ = Rect{std::min(lost_->left, area.left), std::min(lost_->top, area.top),
               std::max(lost_->right, area.right), std::max(lost_->bottom, area.bottom)};
}

void FramePlanner::addBlack(const Rect& area) {
  if (!isEmpty(area)) plan_.black.push_back(area);
}

// Draws an area of the window again: its stored part from the canvas, the rest black.
void FramePlanner::addArea(const Rect& area, const Shape& shape) {
  const Rect part = intersection(area, {0, 0, shape.width, shape.height});
  if (isEmpty(part)) return;
  const Rect stored = intersection(part, {0, 0, shape.storedWidth, shape.storedHeight});
  if (!isEmpty(stored)) plan_.copy.push_back(stored);
  // Right of the stored columns, then below the stored rows and left of that.
  addBlack({std::max(part.left, shape.storedWidth), part.top, part.right, part.bottom});
  addBlack({part.left, std::max(part.top, shape.storedHeight),
            std::min(part.right, shape.storedWidth), part.bottom});
}

const FramePlan& FramePlanner::next(const Canvas& canvas, const std::vector<Rect>& changed) {
  plan_.copy.clear();
  plan_.black.clear();
  const Shape shape{canvas.width(), canvas.height(), canvas.storedWidth(), canvas.storedHeight()};
  if (shape != shown_) {
    shown_ = shape;
    addArea({shape.storedWidth, 0, shape.width, shape.height}, shape);
    addArea({0, shape.storedHeight, shape.storedWidth, shape.height}, shape);
  }
  // What the host lost is drawn whole; changes inside it are drawn with it.
  std::optional<Rect> redrawn;
  if (lost_) {
    addArea(*lost_, shape);
    redrawn = intersection(*lost_, {0, 0, shape.storedWidth, shape.storedHeight});
    lost_.reset();
  }
  const Rect stored{0, 0, shape.storedWidth, shape.storedHeight};
  for (const Rect& part : changed) {
    const Rect inside = intersection(part, stored);
    if (isEmpty(inside) || (redrawn && contains(*redrawn, inside))) continue;
    plan_.copy.push_back(inside);
  }
  return plan_;
}

}  // namespace walkers
