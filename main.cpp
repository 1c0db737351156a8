// Start-up: read the command line, then grow patterns in the main window or on another window.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <memory>
#include <new>
#include <optional>
#include <string>
#include <vector>

#include "common/standard_descriptors.hpp"
#include "engine/form.hpp"
#include "host/command_line.hpp"
#include "host/loop.hpp"
#include "host/main_window.hpp"
#include "host/seed_line.hpp"
#include "host/stop_signals.hpp"
#include "host/wayland_host.hpp"
#include "host/wayland_window.hpp"
#include "host/x11_host.hpp"
#include "host/x11_screensaver.hpp"

#ifndef WALKERS_VERSION
#define WALKERS_VERSION "unknown"
#endif

namespace {

using walkers::Options;

// A seed the reader cannot take at once is dropped: drawing never waits for standard output.
void printSeed(std::uint64_t seed) {
  static_cast<void>(walkers::writeSeedLine(STDOUT_FILENO, seed));
}

// Help or version on standard output, status 0; status 1 with one line if it cannot be written
// (a full device, a closed output).
int printText(const std::string& text, bool outputClosed) {
  errno = 0;
  std::fputs(text.c_str(), stdout);
  if (outputClosed || std::fflush(stdout) != 0 || std::ferror(stdout) != 0) {
    const int error = outputClosed ? EBADF : errno != 0 ? errno : EIO;
    std::fprintf(stderr, "walkers: cannot write standard output: %s\n", std::strerror(error));
    return 1;
  }
  return 0;
}

// WALKERS_TICK_LIMIT=N stops the timer after N ticks, so that end-to-end tests can compare the
// window with walkers-render at a known tick. Anything but plain digits is ignored.
std::optional<std::uint64_t> tickLimit() {
  const char* text = std::getenv("WALKERS_TICK_LIMIT");
  if (!text || !*text) return std::nullopt;
  std::uint64_t limit = 0;
  const char* end = text + std::strlen(text);
  const auto [stop, error] = std::from_chars(text, end, limit);
  if (error != std::errc{} || stop != end) return std::nullopt;
  return limit;
}

walkers::LoopOptions loopOptions(const Options& options) {
  walkers::LoopOptions loop;
  loop.tickLimit = tickLimit();  // which also holds the picture against every restart
  // A screensaver or wallpaper must never go still; the window is watched by its user.
  loop.restartWhenStill = options.place != Options::Place::kWindow;
  loop.cycle = options.cycle;
  loop.patternStarted = printSeed;
  loop.storeKept = [](const std::string& message) {
    std::fprintf(stderr, "walkers: %s\n", message.c_str());
  };
  return loop;
}

template <typename Window>
int runIn(Window& w, const Options& options) {
  walkers::Form form(w.width(), w.height());
  if (options.seed) form.random().seedNextWith(*options.seed);
  walkers::Loop loop(form, w, loopOptions(options));
  return loop.run();
}

bool isSet(const char* variable) {
  const char* value = std::getenv(variable);
  return value && *value;
}

// The own window: on Wayland, drawn by walkers itself, when a compositor answers at
// WAYLAND_DISPLAY; else through SDL on X11. SDL_VIDEODRIVER hands the choice to SDL.
int runWindow(const Options& options, walkers::StopSignals& stop) {
  if (isSet("WAYLAND_DISPLAY") && !isSet("SDL_VIDEODRIVER")) {
    std::unique_ptr<walkers::WaylandWindow> w;
    try {
      w = std::make_unique<walkers::WaylandWindow>(options.fullscreen, &stop);
    } catch (const walkers::WaylandError& error) {
      if (!isSet("DISPLAY"))
        throw walkers::StartupError(std::string("cannot open a window: ") + error.what());
    }
    if (w) return runIn(*w, options);
  }
  walkers::MainWindow w(options.fullscreen, &stop);
  return runIn(w, options);
}

// --root and --window-id: another program's window, no keys, no mouse, no message box.
int runOnWindow(const Options& options, walkers::StopSignals& stop) {
  walkers::X11Host host({options.place == Options::Place::kRoot, options.windowId}, stop);
  walkers::Form form(host.width(), host.height());
  if (options.seed) form.random().seedNextWith(*options.seed);
  walkers::Loop loop(form, host, loopOptions(options));
  return loop.run();
}

// Wayland draws the desktop and the screensaver when the session has it, unless a screensaver
// daemon on X11 handed over its window.
bool wantsWayland(const Options& options) {
  if (options.place == Options::Place::kWindowId || !isSet("WAYLAND_DISPLAY")) return false;
  return options.place != Options::Place::kRoot || !isSet("XSCREENSAVER_WINDOW");
}

// --root and --screensaver on Wayland: a surface and a pattern on every output. A compositor
// that does not answer leaves X11, when there is one.
std::optional<int> runOnWayland(const Options& options, walkers::StopSignals& stop) {
  const auto mode = options.place == Options::Place::kScreensaver
                        ? walkers::WaylandHost::Mode::kScreensaver
                        : walkers::WaylandHost::Mode::kWallpaper;
  std::unique_ptr<walkers::WaylandHost> host;
  try {
    host = std::make_unique<walkers::WaylandHost>(mode, stop);
  } catch (const walkers::WaylandUnreachable&) {
    if (isSet("DISPLAY")) return std::nullopt;
    throw;
  }
  return host->run(loopOptions(options), options.seed);
}

int run(const Options& options) {
  // A reader of the seeds that went away is no reason to stop drawing.
  std::signal(SIGPIPE, SIG_IGN);
  walkers::StopSignals stop;
  if (options.place == Options::Place::kWindow) return runWindow(options, stop);
  if (wantsWayland(options)) {
    if (const auto status = runOnWayland(options, stop)) return *status;
  }
  if (options.place == Options::Place::kScreensaver) {
    walkers::X11Screensaver screensaver(stop);
    return screensaver.run(loopOptions(options), options.seed);
  }
  return runOnWindow(options, stop);
}

}  // namespace

int main(int argc, char** argv) {
  const bool outputClosed = ::fcntl(STDOUT_FILENO, F_GETFD) == -1 && errno == EBADF;
  if (!walkers::openStandardDescriptors()) return 1;  // before anything opens a file
  const std::vector<std::string> arguments(argv + (argc > 0 ? 1 : 0), argv + argc);
  const auto line = walkers::parseCommandLine(arguments, WALKERS_VERSION);
  if (!line.options) {
    if (line.status == 0) return printText(line.text, outputClosed);
    std::fprintf(stderr, "walkers: %s\n", line.text.c_str());
    return line.status;
  }
  try {
    return run(*line.options);
  } catch (const std::bad_alloc&) {  // the canvas names its own size; anything else lands here
    std::fputs("walkers: not enough memory\n", stderr);
    return 1;
  } catch (const std::exception& error) {  // cannot open a window, out of memory and the like
    std::fprintf(stderr, "walkers: %s\n", error.what());
    return 1;
  }
}
