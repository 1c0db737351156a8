// Wayland's ways of drawing at each place: the own window, and a layer surface on every output
// for the desktop's background and the screensaver.
#include <cstdlib>
#include <memory>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>

#include "host/core/attempts.hpp"
#include "host/core/places.hpp"
#include "host/core/runners.hpp"
#include "host/wayland/wayland_main_window.hpp"
#include "host/wayland/wayland_outputs.hpp"

namespace walkers {
namespace {

using Place = Options::Place;

bool isSet(const char* variable) {
  const char* value = std::getenv(variable);
  return value && *value;
}

// The own window, when a compositor answers at WAYLAND_DISPLAY; else, with an X display too,
// the next way (X11), which names this failure too if it fails.
std::optional<int> ownWindow(const Options& options, StopRequest* stop) {
  if (!isSet("WAYLAND_DISPLAY")) return std::nullopt;
  std::unique_ptr<WaylandMainWindow> w;
  try {
    w = std::make_unique<WaylandMainWindow>(options.fullscreen, stop);
  } catch (const WaylandError& error) {
    if (!isSet("DISPLAY")) {
      throw std::runtime_error(std::string("cannot open a window: ") + error.what());
    }
    noteFailedAttempt(error.what());
    return std::nullopt;
  }
  // The timer `t` runs as the user left it: the window is watched by its user.
  return runOneScreen(*w, loopOptionsFor(options.cycle, false, false), options.seed);
}

// --root and --screensaver, unless an X11 screensaver daemon handed over its window (X11's to
// draw on). A compositor that does not answer leaves X11, when there is a display.
std::optional<int> everyOutput(const Options& options, StopRequest* stop) {
  if (!isSet("WAYLAND_DISPLAY")) return std::nullopt;
  if (options.place == Place::kRoot && isSet("XSCREENSAVER_WINDOW")) return std::nullopt;
  const bool screensaver = options.place == Place::kScreensaver;
  std::unique_ptr<WaylandOutputs> outputs;
  try {
    outputs = std::make_unique<WaylandOutputs>(
        screensaver ? WaylandOutputs::Mode::kScreensaver : WaylandOutputs::Mode::kWallpaper, *stop);
  } catch (const WaylandUnreachable& error) {
    if (!isSet("DISPLAY")) throw;
    noteFailedAttempt(error.what());
    return std::nullopt;
  }
  return runScreens(*outputs, loopOptionsFor(options.cycle, true, options.pauseOnBattery),
                    options.seed, screensaver, stop);
}

constexpr PlaceEntry kEntries[] = {
    {Place::kWindow, ownWindow},
    {Place::kRoot, everyOutput},
    {Place::kScreensaver, everyOutput},
};

}  // namespace

std::span<const PlaceEntry> waylandPlaces() { return kEntries; }

}  // namespace walkers
