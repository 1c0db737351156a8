// The hosts for each place on Unix: the own window on Wayland or X11 (SDL's where the build has
// neither), the desktop, another program's window and the screensaver, as the build has them.
#include "host/core/places.hpp"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>

#include "engine/form.hpp"
#include "host/core/loop.hpp"
#include "host/core/seams.hpp"
#include "host/core/tick_limit.hpp"
#include "host/unix/stop_signals.hpp"
#if WALKERS_SDL
#include "host/sdl/main_window.hpp"
#endif
#if WALKERS_X11
#include "host/x11/x11_host.hpp"
#include "host/x11/x11_main_window.hpp"
#include "host/x11/x11_screensaver.hpp"
#endif
#if WALKERS_WAYLAND
#include "host/wayland/wayland_host.hpp"
#include "host/wayland/wayland_window.hpp"
#endif

namespace walkers {
namespace {

using Place = Options::Place;

LoopOptions loopOptions(const Options& options) {
  LoopOptions loop;
  loop.tickLimit = tickLimit();  // which also holds the picture against every restart
  // A screensaver or wallpaper must never go still; the window is watched by its user.
  loop.restartWhenStill = options.place != Place::kWindow;
  loop.cycle = options.cycle;
  // A seed the reader cannot take at once is dropped: drawing never waits for standard output.
  loop.patternStarted = [](std::uint64_t seed) { static_cast<void>(printSeedLine(seed)); };
  loop.storeKept = [](const std::string& message) {
    std::fprintf(stderr, "walkers: %s\n", message.c_str());
  };
  return loop;
}

// One host and one pattern on it.
template <typename SomeHost>
int runOn(SomeHost& host, const Options& options) {
  Form form(host.width(), host.height());
  if (options.seed) form.random().seedNextWith(*options.seed);
  Loop loop(form, host, loopOptions(options));
  return loop.run();
}

// A way of running at a place: the exit status, or nothing when it cannot here and the next
// entry for the place should try.
using Runner = std::optional<int> (*)(const Options&, StopSignals&);

struct Entry {
  Place place;
  Runner run;
};

#if WALKERS_SDL
// The own window through SDL, for a build without a window of its own on this system.
std::optional<int> sdlWindow(const Options& options, StopSignals& stop) {
  MainWindow w(options.fullscreen, &stop);
  return runOn(w, options);
}
#endif

#if WALKERS_WAYLAND
bool isSet(const char* variable) {
  const char* value = std::getenv(variable);
  return value && *value;
}

// The own window on Wayland, drawn by walkers itself, when a compositor answers at
// WAYLAND_DISPLAY; else the next entry (X11).
std::optional<int> waylandWindow(const Options& options, StopSignals& stop) {
  if (!isSet("WAYLAND_DISPLAY")) return std::nullopt;
  std::unique_ptr<WaylandWindow> w;
  try {
    w = std::make_unique<WaylandWindow>(options.fullscreen, &stop);
  } catch (const WaylandError& error) {
    if (!isSet("DISPLAY")) {
      throw std::runtime_error(std::string("cannot open a window: ") + error.what());
    }
    return std::nullopt;
  }
  return runOn(*w, options);
}

// --root and --screensaver on Wayland, when the session has it, unless a screensaver daemon on
// X11 handed over its window: a surface and a pattern on every output. A compositor that does
// not answer leaves X11, when there is one.
std::optional<int> waylandOutputs(const Options& options, StopSignals& stop) {
  if (!isSet("WAYLAND_DISPLAY")) return std::nullopt;
  if (options.place == Place::kRoot && isSet("XSCREENSAVER_WINDOW")) return std::nullopt;
  const auto mode = options.place == Place::kScreensaver ? WaylandHost::Mode::kScreensaver
                                                         : WaylandHost::Mode::kWallpaper;
  std::unique_ptr<WaylandHost> host;
  try {
    host = std::make_unique<WaylandHost>(mode, stop);
  } catch (const WaylandUnreachable&) {
    if (isSet("DISPLAY")) return std::nullopt;
    throw;
  }
  return host->run(loopOptions(options), options.seed);
}
#endif

#if WALKERS_X11
// Whether the window could have been on Wayland too, for the message without any display.
#if WALKERS_WAYLAND
constexpr bool kWaylandToo = true;
#else
constexpr bool kWaylandToo = false;
#endif

// The own window on X11, drawn by walkers itself.
std::optional<int> x11Window(const Options& options, StopSignals& stop) {
  std::unique_ptr<X11MainWindow> w;
  try {
    w = std::make_unique<X11MainWindow>(options.fullscreen, &stop, kWaylandToo);
  } catch (const X11Error& error) {
    throw std::runtime_error(std::string("cannot open a window: ") + error.what());
  }
  return runOn(*w, options);
}

// --root and --window-id: another program's window, no keys, no mouse, no message box.
std::optional<int> x11Other(const Options& options, StopSignals& stop) {
  X11Host host({options.place == Place::kRoot, static_cast<unsigned long>(options.otherWindow)},
               stop);
  return runOn(host, options);
}

std::optional<int> x11Screensaver(const Options& options, StopSignals& stop) {
  X11Screensaver screensaver(stop);
  return screensaver.run(loopOptions(options), options.seed);
}
#endif

// Tried in order; the first that runs at the place decides.
// SDL comes last: the window systems' own windows go before it.
constexpr Entry kPlaces[] = {
#if WALKERS_WAYLAND
    {Place::kWindow, waylandWindow},
#endif
#if WALKERS_X11
    {Place::kWindow, x11Window},
#endif
#if WALKERS_SDL
    {Place::kWindow, sdlWindow},
#endif
#if WALKERS_WAYLAND
    {Place::kRoot, waylandOutputs},
    {Place::kScreensaver, waylandOutputs},
#endif
#if WALKERS_X11
    {Place::kRoot, x11Other},
    {Place::kOtherWindow, x11Other},
    {Place::kScreensaver, x11Screensaver},
#endif
};

}  // namespace

int runAtPlace(const Options& options) {
  // A reader of the seeds that went away is no reason to stop drawing.
  std::signal(SIGPIPE, SIG_IGN);
  StopSignals stop;
  for (const Entry& entry : kPlaces) {
    if (entry.place != options.place) continue;
    if (const auto status = entry.run(options, stop)) return *status;
  }
  throw std::runtime_error("this build of walkers cannot draw there");
}

}  // namespace walkers
