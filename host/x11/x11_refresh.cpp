// Reading RandR's monitor timings to find how often the window's screen refreshes.
#include "host/x11/x11_refresh.hpp"

#include <X11/extensions/Xrandr.h>

#include <cstdint>

#include "host/core/refresh_period.hpp"
#include "host/x11/x11_errors.hpp"

namespace walkers {
namespace {

// The refresh period of one monitor mode, or zero when it gives no timings.
std::chrono::nanoseconds periodOf(const XRRModeInfo& mode) {
  if (mode.dotClock == 0) return {};
  std::uint64_t lines = mode.vTotal;
  if (mode.modeFlags & RR_DoubleScan) lines *= 2;
  if (mode.modeFlags & RR_Interlace) lines /= 2;
  const std::uint64_t dots = std::uint64_t{mode.hTotal} * lines;
  return std::chrono::nanoseconds{dots * 1'000'000'000ULL / mode.dotClock};
}

}  // namespace

std::chrono::nanoseconds refreshPeriod(Display* display, Window window, int width, int height) {
  int eventBase = 0;
  int errorBase = 0;
  int major = 0;
  int minor = 0;
  if (!XRRQueryExtension(display, &eventBase, &errorBase) ||
      !XRRQueryVersion(display, &major, &minor) || major * 100 + minor < 103) {
    return kFallbackRefreshPeriod;
  }
  const Window root = DefaultRootWindow(display);
  const TrappedXErrors trapped(display);  // the window may go meanwhile
  int left = 0;
  int top = 0;
  Window child = 0;
  if (!XTranslateCoordinates(display, window, root, 0, 0, &left, &top, &child)) {
    return kFallbackRefreshPeriod;
  }
  XRRScreenResources* resources = XRRGetScreenResourcesCurrent(display, root);
  if (!resources) return kFallbackRefreshPeriod;
  std::chrono::nanoseconds best{0};
  for (int c = 0; c < resources->ncrtc; ++c) {
    XRRCrtcInfo* crtc = XRRGetCrtcInfo(display, resources, resources->crtcs[c]);
    if (!crtc) continue;
    const bool overlaps = crtc->mode != None && crtc->x < left + width &&
                          left < crtc->x + static_cast<int>(crtc->width) &&
                          crtc->y < top + height && top < crtc->y + static_cast<int>(crtc->height);
    for (int m = 0; overlaps && m < resources->nmode; ++m) {
      if (resources->modes[m].id != crtc->mode) continue;
      const auto period = periodOf(resources->modes[m]);
      if (period.count() > 0 && (best.count() == 0 || period < best)) best = period;
    }
    XRRFreeCrtcInfo(crtc);
  }
  XRRFreeScreenResources(resources);
  return best.count() > 0 ? best : kFallbackRefreshPeriod;
}

}  // namespace walkers
