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
  WindowHost::Setup setup{WindowHost::Kind::kMain, options.fullscreen};
  if (options.place == Place::kOtherWindow) {
    const HWND parent = reinterpret_cast<HWND>(options.otherWindow);
    // A window that is gone is an error, as on X11; the desktop and a message-only window can
    // never take a child to draw in, and are refused as a bad value.
    if (const ParentFault fault = parentFault(parent); fault != ParentFault::kNone) {
      const std::string line =
          parentFaultLine(fault, options.otherWindow, "to draw in (--window-id)");
      if (fault == ParentFault::kMissing) throw std::runtime_error(line);
      return fail(line, 2);
    }
    setup = {WindowHost::Kind::kPreview};
    setup.parent = parent;
  }
  WindowHost w(setup);
  // A pattern inside another program's window must never go still; the window is watched. The
  // command line takes --pause-on-battery only with --window-id here, never for the own window.
  return runOneScreen(
      w, loopOptionsFor(options.cycle, options.place != Place::kWindow, options.pauseOnBattery),
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
