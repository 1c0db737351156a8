// Following a window walkers did not create (a screensaver's, a root, one by id) and drawing on it.
#pragma once

#include <chrono>
#include <memory>
#include <optional>
#include <stdexcept>

#include "engine/canvas.hpp"
#include "host/core/frame_plan.hpp"
#include "host/core/resting.hpp"
#include "host/unix/window_id.hpp"

namespace walkers {

// The window cannot be drawn on (no display, no such window, a visual walkers cannot draw); the
// message is one line saying why.
class X11Error : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Which window to draw on. With root set: the window named by $XSCREENSAVER_WINDOW if that is
// set, else the virtual root (a child of the root window carrying __SWM_VROOT) if there is one,
// else the root window itself; the last two are the desktop's background, followed to a new
// virtual root (or the root window) when the window manager replaces or drops its own. While a
// compositing manager runs or a desktop window covers the root window, the root window's place
// is taken by a desktop window walkers makes itself (see makeDesktopWindow), made and dropped as
// they come and go. Otherwise the window windowId.
struct X11Choice {
  bool root = false;
  unsigned long windowId = 0;
};

// A foreign X window, drawn with plain Xlib (see X11Painter). Only StructureNotify and Exposure
// are selected on it: walkers never takes its keys or mouse, and never maps, moves, resizes or
// changes it.
//
// Losing the X server, or an X error other than the window's own disappearance, prints one line
// "walkers: lost the display: ..." on stderr and ends the process with status 1.
class X11Target {
 public:
  // Opens the display ($DISPLAY), finds the window and checks it; throws X11Error.
  explicit X11Target(const X11Choice& choice);
  ~X11Target();
  X11Target(const X11Target&) = delete;
  X11Target& operator=(const X11Target&) = delete;

  // The X connection's file descriptor, to poll on.
  int connection() const;
  // The window's current size, as of the last pump().
  int width() const;
  int height() const;
  // The window drawn on.
  unsigned long window() const;
  // Whether frames travel through shared memory.
  bool sharedMemory() const;
  // Memory for the canvas that frames are sent from as it stands (see X11SharedPixels), or null
  // when the window's pixels are not kRedHigh values or the server shares no memory. It lasts as
  // long as the target, which must outlive the canvas.
  PixelMemory* pixelMemory() const;

  enum class Event { kNone, kResized, kGone };
  // Reads every event that has arrived, without blocking. kGone once the window was destroyed
  // (and from then on); kResized when its size changed since the last call.
  Event pump();

  // The bounds of the parts of the window that lost their picture (another window uncovered
  // them) since the last call, if any.
  std::optional<Rect> takeLost();

  // Whether the window can be seen now, as of the last pump() (see X11Sight).
  Sight sight(std::chrono::steady_clock::time_point now);

  // Carries out a frame: the plan's canvas rectangles drawn in place, its black ones filled.
  // Does not wait for the server.
  void present(const Canvas& canvas, const FramePlan& plan);

  // The refresh period of the monitor the window is on (the fastest, if on several); 60 Hz when
  // the display does not say.
  std::chrono::nanoseconds framePeriod() const;

  struct State;  // the Xlib side, kept out of this header

 private:
  std::unique_ptr<State> state_;
};

}  // namespace walkers
