// What each part of a frame costs on a large screen, in process and without a display server.
//
// Usage: frame_parts [WIDTH HEIGHT [FRAMES [--hot]]]. A pattern of seed 2389 on a WIDTH x HEIGHT
// canvas (3840 x 2160 by default) grows for 2 s of ticks; then each of FRAMES frames (600) runs
// the 17 ticks a 60 Hz frame holds, lists the changed rectangles, and converts them into a
// window-sized shared mapping as the X11 host converts into its mirror (red and blue swapped)
// where it cannot send them from the canvas's own segments. A real frame sleeps until the next
// refresh, so the frames here sleep 16 ms too, unless --hot is given: the difference is what the
// caches lose in that sleep. Prints each part's CPU time as a share of one core over the frames'
// real time (17 ms a frame).
#include <sys/mman.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "engine/form.hpp"

namespace {

constexpr int kTicksPerFrame = 17;

double threadSeconds() {
  timespec now{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

}  // namespace

int main(int argc, char** argv) {
  const int width = argc > 2 ? std::atoi(argv[1]) : 3840;
  const int height = argc > 2 ? std::atoi(argv[2]) : 2160;
  const int frames = argc > 3 ? std::atoi(argv[3]) : 600;
  const bool hot = argc > 4 && std::strcmp(argv[4], "--hot") == 0;
  if (width < 1 || height < 1 || width > walkers::kMaxStoredSide ||
      height > walkers::kMaxStoredSide || frames < 1) {
    std::fprintf(stderr, "usage: frame_parts [WIDTH HEIGHT [FRAMES [--hot]]]\n");
    return 2;
  }
  walkers::Form form(width, height, walkers::Random{2389});
  const auto stride = static_cast<std::size_t>(width);
  const std::size_t bytes = stride * static_cast<std::size_t>(height) * sizeof(std::uint32_t);
  void* mapping = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
  if (mapping == MAP_FAILED) {
    std::perror("frame_parts: mmap");
    return 1;
  }
  auto* mirror = static_cast<std::uint32_t*>(mapping);
  for (int t = 0; t < 2000; ++t) form.t_Timer();
  form.canvas().takeChanged();

  double ticking = 0;
  double listing = 0;
  double converting = 0;
  long rows = 0;
  long pixels = 0;
  for (int frame = 0; frame < frames; ++frame) {
    const double began = threadSeconds();
    for (int t = 0; t < kTicksPerFrame; ++t) form.t_Timer();
    const double ticked = threadSeconds();
    const auto changed = form.canvas().takeChanged();
    const double listed = threadSeconds();
    for (const walkers::Rect& part : changed) {
      for (int y = part.top; y < part.bottom; ++y) {
        const std::uint32_t* in = form.canvas().row(y);
        std::uint32_t* out = mirror + static_cast<std::size_t>(y) * stride;
        std::transform(in + part.left, in + part.right, out + part.left, walkers::swapRedBlue);
        ++rows;
        pixels += part.right - part.left;
      }
    }
    const double converted = threadSeconds();
    ticking += ticked - began;
    listing += listed - ticked;
    converting += converted - listed;
    if (!hot) {
      timespec sleep{0, 16'000'000};
      nanosleep(&sleep, nullptr);
    }
  }
  const double span = frames * kTicksPerFrame / 1000.0;
  std::printf(
      "%dx%d%s: ticking %.2f %%, listing changes %.2f %%, converting %.2f %%, all %.2f %% of a "
      "core; %ld rows and %ld pixels converted a frame\n",
      width, height, hot ? " (hot)" : "", 100 * ticking / span, 100 * listing / span,
      100 * converting / span, 100 * (ticking + listing + converting) / span, rows / frames,
      pixels / frames);
  munmap(mapping, bytes);
  return 0;
}
