// X11's ways of drawing at each place: the own window, the desktop's background, another
// program's window, and the screensaver's covers.
#include <memory>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>

#include "host/core/places.hpp"
#include "host/core/runners.hpp"
#include "host/x11/x11_errors.hpp"
#include "host/x11/x11_host.hpp"
#include "host/x11/x11_main_window.hpp"
#include "host/x11/x11_screensaver.hpp"

namespace walkers {
namespace {

using Place = Options::Place;

// Whether the window could have been on Wayland too, for the message without any display.
#if WALKERS_WAYLAND
constexpr bool kWaylandToo = true;
#else
constexpr bool kWaylandToo = false;
#endif

// The own window, drawn by walkers itself.
std::optional<int> ownWindow(const Options& options, StopRequest* stop) {
  std::unique_ptr<X11MainWindow> w;
  try {
    w = std::make_unique<X11MainWindow>(options.fullscreen, stop, kWaylandToo);
  } catch (const X11Error& error) {
    throw std::runtime_error(std::string("cannot open a window: ") + error.what());
  }
  // The timer `t` runs as the user left it: the window is watched by its user.
  return runOneScreen(*w, loopOptionsFor(options.cycle, false, false), options.seed);
}

// --root and --window-id: another program's window, no keys, no mouse, no message box.
std::optional<int> otherWindow(const Options& options, StopRequest* stop) {
  X11Host host({options.place == Place::kRoot, static_cast<unsigned long>(options.otherWindow)},
               *stop);
  // The window is watched by somebody else: its picture must never go still.
  return runOneScreen(host, loopOptionsFor(options.cycle, true, options.pauseOnBattery),
                      options.seed);
}

std::optional<int> screensaver(const Options& options, StopRequest* stop) {
  X11Screensaver covers(*stop);
  return runScreens(covers, loopOptionsFor(options.cycle, true, options.pauseOnBattery),
                    options.seed, true, stop);
}

constexpr PlaceEntry kEntries[] = {
    {Place::kWindow, ownWindow},
    {Place::kRoot, otherWindow},
    {Place::kOtherWindow, otherWindow},
    {Place::kScreensaver, screensaver},
};

}  // namespace

std::span<const PlaceEntry> x11Places() { return kEntries; }

}  // namespace walkers
