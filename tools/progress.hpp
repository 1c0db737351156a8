// The renderer's progress line on a terminal: percentage, pace, frames and the time left.
#pragma once

#include <chrono>
#include <cstdint>

namespace walkers::render {

// A progress line on standard error when that is a terminal, redrawn a few times a second once
// the render has lasted a moment. The time left is estimated from the pace so far, which includes
// encoding the frames taken on the way; the frame count is shown when frames are taken, and the
// last step (finishing the animation and writing the files) is named once the ticks are done.
// WALKERS_RENDER_PROGRESS_AT_ONCE (set to anything; for tests only) draws the line from the first
// update rather than after the quiet start, so that a test sees it without a long render.
class Progress {
 public:
  Progress(std::uint64_t total, std::uint64_t frames);
  ~Progress() { finish(); }
  Progress(const Progress&) = delete;
  Progress& operator=(const Progress&) = delete;

  void update(std::uint64_t done, std::uint64_t framesDone);

  // The ticks are done; names what the rest of the time goes to.
  void finishing(const char* what);

  // Clears the line, so that what is printed next starts a line of its own; also when the render
  // fails and its message follows.
  void finish();

 private:
  using Clock = std::chrono::steady_clock;
  static constexpr auto kQuietStart = std::chrono::milliseconds(500);
  static constexpr auto kRedraw = std::chrono::milliseconds(250);
  std::uint64_t total_;
  std::uint64_t frames_;
  bool enabled_;
  Clock::duration quietStart_;
  bool drawn_ = false;
  Clock::time_point start_ = Clock::now();
  Clock::time_point shown_{};
};

}  // namespace walkers::render
