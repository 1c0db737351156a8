// The screensaver on X11: a window and a pattern over every monitor until the first input.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "host/core/loop.hpp"

namespace walkers {

class StopRequest;
class X11Host;

// For idle programs that start a command (xautolock, xss-lock): covers each monitor with a
// window above all others, each growing its own pattern through an X11Host, takes the keyboard
// and the pointer, and ends at the first key, button or pointer movement after
// InputGrace::kGrace. It locks nothing: another program's grab is simply waited out for a moment,
// then the windows show without it.
class X11Screensaver {
 public:
  // Opens $DISPLAY and covers the monitors; throws X11Error.
  explicit X11Screensaver(StopRequest& stop);
  ~X11Screensaver();
  X11Screensaver(const X11Screensaver&) = delete;
  X11Screensaver& operator=(const X11Screensaver&) = delete;

  // Runs until the end and returns the exit status (0). A lost display ends the process.
  int run(const LoopOptions& options, std::optional<std::uint64_t> firstSeed);

  struct Connection;  // the Xlib side, kept out of this header

 private:
  std::uint64_t readInput();

  StopRequest& stop_;
  std::unique_ptr<Connection> connection_;
  std::vector<std::unique_ptr<X11Host>> hosts_;
  std::uint64_t inputs_ = 0;
};

}  // namespace walkers
