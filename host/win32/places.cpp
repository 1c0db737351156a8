// The hosts for each place on Windows: the window "Form1", and a child inside another program's
// window; the desktop and the screensaver are walkers.scr's.
#include "host/core/places.hpp"

#include <windows.h>

#include <stdexcept>
#include <string>

#include "engine/form.hpp"
#include "host/core/loop.hpp"
#include "host/win32/program.hpp"
#include "host/win32/window_host.hpp"

namespace walkers {

int runAtPlace(const Options& options) {
  using Place = Options::Place;
  if (options.place == Place::kRoot || options.place == Place::kScreensaver) {
    throw std::runtime_error(
        "--root and --screensaver are for X11 and Wayland; on Windows the screen saver is "
        "walkers.scr");
  }
  becomeDpiAware();
  WindowHost::Place place{WindowHost::Kind::kMain, options.fullscreen};
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
    place = {WindowHost::Kind::kPreview};
    place.parent = parent;
  }
  WindowHost w(place);
  Form form(w.width(), w.height());
  if (options.seed) form.random().seedNextWith(*options.seed);
  // A pattern inside another program's window must never go still; the window is watched.
  Loop loop(form, w, windowsLoopOptions(options.cycle, options.place != Place::kWindow));
  return loop.run();
}

}  // namespace walkers
