// The refresh period of the monitors an X window is on, from RandR.
#pragma once

#include <X11/Xlib.h>

#include <chrono>

namespace walkers {

// The shortest refresh period among the monitors that the `width` x `height` window overlaps;
// kFallbackRefreshPeriod where the server has no RandR 1.3 or reports no timings (as virtual
// servers do).
std::chrono::nanoseconds refreshPeriod(Display* display, Window window, int width, int height);

}  // namespace walkers
