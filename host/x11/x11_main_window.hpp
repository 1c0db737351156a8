// The main window `w` on X11: a top-level window of walkers' own, made and drawn with plain Xlib.
#pragma once

#include <memory>
#include <optional>

#include "engine/form.hpp"
#include "host/core/loop.hpp"

namespace walkers {

class StopRequest;

// The form's window on an X server, made by walkers itself (no SDL): captioned "Form1", with a
// client area of 510x370 pixels on the screen's default visual (TrueColor of 15 to 32 bits).
// Keys act by the character they type (Return, keypad Enter and Ctrl+M 13; Escape and Ctrl+[ 27;
// Backspace 8, Tab 9, Ctrl with a letter its control code, printable keys their character); F11
// asks the window manager to toggle fullscreen (_NET_WM_STATE), once per press. The window
// manager's close request (WM_DELETE_WINDOW) or a stop signal ends the loop. Losing the X server,
// or another program destroying the window, prints one line "walkers: lost the display: ..." and
// ends the program with status 1. Frames go through X11Painter, from the canvas's own shared
// segments where the visual takes them as they stand.
class X11MainWindow : public Host {
 public:
  static constexpr int kClientWidth = kFormWidth;
  static constexpr int kClientHeight = kFormHeight;
  static constexpr const char* kCaption = "Form1";

  // Connects to $DISPLAY, opens the window and waits (a few seconds at most) until it is mapped,
  // so that the form starts at the size the window manager gave it. Throws X11Error, one line,
  // when there is no display or its visual cannot be drawn on. `waylandToo`: a missing DISPLAY is
  // said as neither DISPLAY nor WAYLAND_DISPLAY set. `stop` may be null.
  explicit X11MainWindow(bool fullscreen = false, StopRequest* stop = nullptr,
                         bool waylandToo = false);
  ~X11MainWindow() override;
  X11MainWindow(const X11MainWindow&) = delete;
  X11MainWindow& operator=(const X11MainWindow&) = delete;

  // The client area as the window opened.
  int width() const override;
  int height() const override;

  void waitUntil(LoopClock::time_point deadline) override;
  std::optional<HostEvent> nextEvent() override;
  void present(const Canvas& canvas, const FramePlan& plan) override;
  LoopClock::duration framePeriod() const override;
  PixelMemory* pixelMemory() override;

  struct State;  // the Xlib side, kept out of this header

 private:
  std::unique_ptr<State> state_;
};

}  // namespace walkers
