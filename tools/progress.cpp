// Drawing the renderer's progress line on standard error.
#include "tools/progress.hpp"

#include <unistd.h>

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>

namespace walkers::render {

Progress::Progress(std::uint64_t total, std::uint64_t frames)
    : total_(total),
      frames_(frames),
      enabled_(::isatty(STDERR_FILENO) == 1),
      quietStart_(std::getenv("WALKERS_RENDER_PROGRESS_AT_ONCE") != nullptr ? Clock::duration{}
                                                                            : kQuietStart) {}

void Progress::update(std::uint64_t done, std::uint64_t framesDone) {
  if (!enabled_) return;
  const auto now = Clock::now();
  if (now - start_ < quietStart_ || now - shown_ < kRedraw) return;
  shown_ = now;
  const double seconds = std::chrono::duration<double>(now - start_).count();
  const double rate = static_cast<double>(done) / seconds;
  const double left = rate > 0 ? static_cast<double>(total_ - done) / rate : 0;
  std::fprintf(
      stderr, "\r%5.1f%%  %.0f ticks/s",
      100.0 * static_cast<double>(done) / static_cast<double>(std::max<std::uint64_t>(total_, 1)),
      rate);
  if (frames_ > 0) std::fprintf(stderr, "  frame %" PRIu64 "/%" PRIu64, framesDone, frames_);
  std::fprintf(stderr, "  %.0f s left   ", left);
  drawn_ = true;
}

void Progress::finishing(const char* what) {
  if (!enabled_ || Clock::now() - start_ < quietStart_) return;
  std::fprintf(stderr, "\r\033[K100.0%%  %s", what);
  drawn_ = true;
}

void Progress::finish() {
  if (drawn_) std::fputs("\r\033[K", stderr);
  drawn_ = false;
}

}  // namespace walkers::render
