// The screensaver on X11: a window and a pattern over every monitor until the first input.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "host/core/loop.hpp"
#include "host/core/runners.hpp"

namespace walkers {

class StopRequest;
class X11Host;

// For idle programs that start a command (xautolock, xss-lock): covers each monitor with a
// window above all others, each growing its own pattern through an X11Host, and takes the
// keyboard and the pointer; runScreens ends it at the first key, button or pointer movement
// after InputGrace::kGrace. It locks nothing: another program's grab is simply waited out for a
// moment, then the windows show without it.
class X11Screensaver : public Screens {
 public:
  // Opens $DISPLAY and covers the monitors; throws X11Error.
  explicit X11Screensaver(StopRequest& stop);
  ~X11Screensaver() override;
  X11Screensaver(const X11Screensaver&) = delete;
  X11Screensaver& operator=(const X11Screensaver&) = delete;

  // A pattern on every cover, from the start. A lost display ends the process.
  bool follow(Patterns& patterns) override;
  std::uint64_t inputs() override;
  void waitUntil(LoopClock::time_point deadline) override;

  struct Connection;  // the Xlib side, kept out of this header

 private:
  StopRequest& stop_;
  std::unique_ptr<Connection> connection_;
  std::vector<std::unique_ptr<X11Host>> hosts_;
  std::uint64_t inputs_ = 0;
  bool started_ = false;  // the covers have their patterns
};

}  // namespace walkers
