// Windows' ways of drawing at each place: the window "Form1", and a child inside another
// program's window; the desktop and the screensaver are walkers.scr's.
#include "host/core/places.hpp"

#include <windows.h>

#include <optional>
#include <span>
#include <stdexcept>
#include <string>

#include "host/core/runners.hpp"
#include "host/win32/program.hpp"
#include "host/win32/window_host.hpp"

namespace walkers {
namespace {

using Place = Options::Place;

std::optional<int> window(const Options& options, StopRequest* /*stop*/) {
  becomeDpiAware();
  WindowHost::Place place{WindowHost::Kind::kMain, options.fullscreen};
  if (options.place == Place::kOtherWindow) {
    const HWND parent = reinterpret_cast<HWND>(options.otherWindow);
    if (!::IsWindow(parent)) {
      throw std::runtime_error("no window " + std::to_string(options.otherWindow) +
                               " to draw in (--window-id)");
    }
    place = {WindowHost::Kind::kPreview};
    place.parent = parent;
  }
  WindowHost w(place);
  // A pattern inside another program's window must never go still; the window is watched.
  return runOneScreen(w, loopOptionsFor(options.cycle, options.place != Place::kWindow),
                      options.seed);
}

std::optional<int> elsewhere(const Options& /*options*/, StopRequest* /*stop*/) {
  throw std::runtime_error(
      "--root and --screensaver are for X11 and Wayland; on Windows the screen saver is "
      "walkers.scr");
}

constexpr PlaceEntry kEntries[] = {
    {Place::kWindow, window},
    {Place::kOtherWindow, window},
    {Place::kRoot, elsewhere},
    {Place::kScreensaver, elsewhere},
};

}  // namespace

std::span<const PlaceEntry> win32Places() { return kEntries; }

}  // namespace walkers
