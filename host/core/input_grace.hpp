// When a screensaver ends: at the first input once a short grace after its start has passed.
#pragma once

#include <chrono>
#include <cstdint>

#include "host/core/loop.hpp"

namespace walkers {

// Input in the first kGrace is taken as the tail of what the idle program saw last (a key still
// bouncing, a mouse settling), not as the user coming back.
class InputGrace {
 public:
  static constexpr std::chrono::milliseconds kGrace{1000};

  explicit InputGrace(LoopClock::time_point start) : end_(start + kGrace) {}

  // Whether the screensaver should end, given how many inputs arrived since it started.
  bool ended(LoopClock::time_point now, std::uint64_t inputs) {
    if (now < end_) {
      before_ = inputs;
      return false;
    }
    return inputs != before_;
  }
  LoopClock::time_point graceEnd() const { return end_; }

 private:
  LoopClock::time_point end_;
  std::uint64_t before_ = 0;
};

}  // namespace walkers
