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
    if (!::IsWindow(parent)) {
      throw std::runtime_error("no window " + std::to_string(options.otherWindow) +
                               " to draw in (--window-id)");
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
