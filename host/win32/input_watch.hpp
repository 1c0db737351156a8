// When a running screen saver ends: a key, a button, or the pointer moved beyond a few pixels.
#pragma once

#include <cstdlib>
#include <optional>

namespace walkers {

// Shared by every window of one screen saver run, in screen coordinates. The first pointer
// position seen is where the pointer rests (the system sends one on start, and again whenever a
// window appears under it); only a move of more than `threshold` pixels from there, in either
// direction, is the user coming back.
class InputWatch {
 public:
  explicit InputWatch(int threshold) : threshold_(threshold) {}

  // The pixels a move must exceed at `dpi` dots per inch: kThreshold at 96, in proportion above.
  static constexpr int kThreshold = 4;
  static int thresholdFor(unsigned dpi) {
    return dpi > 96 ? static_cast<int>((kThreshold * dpi + 95) / 96) : kThreshold;
  }

  void pointerAt(int x, int y) {
    if (!rest_) {
      rest_ = Point{x, y};
    } else if (std::abs(x - rest_->x) > threshold_ || std::abs(y - rest_->y) > threshold_) {
      ended_ = true;
    }
  }
  void end() { ended_ = true; }  // a key, a button, lost activation
  bool ended() const { return ended_; }

 private:
  struct Point {
    int x, y;
  };
  int threshold_;
  std::optional<Point> rest_;
  bool ended_ = false;
};

}  // namespace walkers
