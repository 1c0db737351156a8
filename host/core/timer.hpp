// The timer `t`: which ticks of a fixed interval have fallen due, with a cap on catching up.
#pragma once

#include <algorithm>
#include <chrono>
#include <cstdint>

namespace walkers {

// Tick k falls due k intervals after start(), on the monotonic clock. takeDue() hands out the
// ticks that fell due since the last call; when more than kMaxCatchUp of time is overdue (the
// process was stalled), only that much runs and the older ticks are dropped, as a window
// system's timer coalesces, so a stall never turns into a long catch-up burst. Between pause()
// and resume() the clock stands still: no tick falls due, and the next one after is the one that
// would have fallen due next when it stopped.
class Timer {
 public:
  using Clock = std::chrono::steady_clock;
  static constexpr std::chrono::milliseconds kMaxCatchUp{100};

  explicit Timer(std::chrono::milliseconds interval) : Interval(interval) {}

  void start(Clock::time_point now) {
    start_ = now;
    counted_ = 0;
    paused_ = false;
  }

  void pause(Clock::time_point now) {
    if (paused_) return;
    pausedAt_ = now;
    paused_ = true;
  }
  void resume(Clock::time_point now) {
    if (!paused_) return;
    if (now > pausedAt_) start_ += now - pausedAt_;
    paused_ = false;
  }
  bool paused() const { return paused_; }

  // The number of ticks to run now.
  std::uint64_t takeDue(Clock::time_point now) {
    if (paused_) now = std::min(now, pausedAt_);
    if (now < start_) return 0;
    const auto fallen = static_cast<std::uint64_t>((now - start_) / Interval);
    const auto cap = static_cast<std::uint64_t>(kMaxCatchUp / Interval);
    if (fallen - counted_ > cap) {
      dropped_ += fallen - counted_ - cap;
      counted_ = fallen - cap;
    }
    const std::uint64_t due = fallen - counted_;
    counted_ = fallen;
    return due;
  }

  std::uint64_t dropped() const { return dropped_; }

  const std::chrono::milliseconds Interval;  // the timer is enabled from the start, for good

 private:
  Clock::time_point start_{};
  std::uint64_t counted_ = 0;  // ticks handed out or dropped
  std::uint64_t dropped_ = 0;
  Clock::time_point pausedAt_{};
  bool paused_ = false;
};

}  // namespace walkers
