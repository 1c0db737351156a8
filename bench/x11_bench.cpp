// Times presenting on a foreign X window and reports the process's peak memory while doing it.
#include <X11/Xlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "engine/random.hpp"
#include "host/x11/x11_target.hpp"

namespace {

using Clock = std::chrono::steady_clock;

long peakResidentKiB() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmHWM:", 0) == 0) return std::strtol(line.c_str() + 6, nullptr, 10);
  }
  return -1;
}

double millisecondsSince(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

}  // namespace

// Usage: x11_bench WIDTH HEIGHT [FRAMES]. Makes a WIDTH x HEIGHT window on $DISPLAY, presents
// FRAMES whole frames and FRAMES frames of what 501 walkers paint in 16 ms: a run of 16 pixels
// each, anywhere.
int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: x11_bench WIDTH HEIGHT [FRAMES]\n");
    return 2;
  }
  const int width = std::atoi(argv[1]);
  const int height = std::atoi(argv[2]);
  const int frames = argc > 3 ? std::atoi(argv[3]) : 50;
  Display* display = XOpenDisplay(nullptr);
  if (!display || width < 1 || height < 1 || width > 65535 || height > 65535) {
    std::fprintf(stderr, "x11_bench: no display, or a size X cannot make\n");
    return 1;
  }
  const Window window =
      XCreateSimpleWindow(display, DefaultRootWindow(display), 0, 0, static_cast<unsigned>(width),
                          static_cast<unsigned>(height), 0, 0, 0);
  XMapWindow(display, window);
  XSync(display, False);
  try {
    walkers::X11Target target(walkers::X11Choice{false, window});
    // The canvas keeps at most kMaxStoredSide pixels a side; it is made that size here so that
    // the figure holds whether or not the canvas applies its cap itself.
    const int canvasWidth = std::min(width, walkers::kMaxStoredSide);
    const int canvasHeight = std::min(height, walkers::kMaxStoredSide);
    walkers::Canvas canvas(canvasWidth, canvasHeight);
    walkers::Xoshiro256 random(1);
    for (int y = 0; y < canvasHeight; ++y) {
      for (int x = 0; x < canvasWidth; ++x) {
        canvas.PSet(x, y, static_cast<walkers::Colour>(random.nextBits() & 0xffffff));
      }
    }
    canvas.takeChanged();
    walkers::FramePlanner planner;
    auto start = Clock::now();
    for (int frame = 0; frame < frames; ++frame) {
      canvas.markChanged();
      target.present(canvas, planner.next(canvas, canvas.takeChanged()));
    }
    XSync(display, False);  // the server has drawn them all (the target's own requests come first)
    const double whole = millisecondsSince(start) / frames;
    start = Clock::now();
    for (int frame = 0; frame < frames; ++frame) {
      for (int walker = 0; walker < 501; ++walker) {
        const auto value = random.nextBits();
        const int x = static_cast<int>(value % static_cast<unsigned>(canvasWidth));
        const int y = static_cast<int>((value >> 32) % static_cast<unsigned>(canvasHeight));
        for (int step = 0; step < 16; ++step) {
          canvas.PSet(x + step, y, static_cast<walkers::Colour>(value >> 40));
        }
      }
      target.present(canvas, planner.next(canvas, canvas.takeChanged()));
    }
    const double walking = millisecondsSince(start) / frames;
    std::printf(
        "%dx%d window, %dx%d canvas, %s: whole frame %.2f ms, 501-walker frame %.3f ms, peak "
        "resident %.1f MB\n",
        width, height, canvasWidth, canvasHeight,
        target.sharedMemory() ? "shared memory" : "no shared memory", whole, walking,
        static_cast<double>(peakResidentKiB()) / 1024.0);
  } catch (const std::exception& error) {
    std::fprintf(stderr, "x11_bench: %s\n", error.what());
    return 1;
  }
  XCloseDisplay(display);
  return 0;
}
