// Xlib's errors routed once for the whole process: one line when the display is lost, or trapped.
#pragma once

#include <X11/Xlib.h>

#include <string>

#include "host/unix/answer_deadline.hpp"

namespace walkers {

// From the first call on, Xlib's process-wide handlers are walkers' for every connection: a
// broken connection, or an X error nobody expects, prints one line
// "walkers: lost the display: ..." on stderr and ends the process with status 1. Requests that
// fail because `drawnWindow` was destroyed end it the same way ("the window was destroyed"),
// or, with `goneQuietly`, only make windowGone(drawnWindow) true.
void routeXErrors(unsigned long drawnWindow = 0, bool goneQuietly = false);
// Whether a window drawn with `goneQuietly` was seen destroyed through a failed request.
bool windowGone(unsigned long window);
// Prints "walkers: lost the display: <reason>" on stderr and ends the process with status 1.
[[noreturn]] void lostDisplay(const std::string& reason);

// While one exists, X errors on `display` are counted instead (for checks whose failure is an
// answer). The constructor and first() wait for the server, so first() covers every request
// made since construction.
class TrappedXErrors {
 public:
  explicit TrappedXErrors(Display* display);
  ~TrappedXErrors();
  TrappedXErrors(const TrappedXErrors&) = delete;
  TrappedXErrors& operator=(const TrappedXErrors&) = delete;
  // The code of the first error since construction, 0 for none.
  int first();

 private:
  Display* display_;
};

// Closes a connection whose window may be gone: nothing the server says now matters.
void closeDisplayQuietly(Display* display);

// The reason for a failed XOpenDisplay of `name`: why a local display's socket takes no
// connection (missing, not a socket, refused, or the server refusing this client), or the fault
// when it is this process's (`code`, errno from the attempt: out of descriptors or memory), after
// any way of drawing that failed before (noteFailedAttempt). The name is escaped and cut short:
// the message stays one line whatever DISPLAY holds.
std::string cannotConnect(const std::string& name, int code);

// Connects to $DISPLAY with the routing above in place, or throws X11Error
// (host/x11/x11_target.hpp) saying why it cannot; a display that does not answer within
// kAnswerDeadline ends the process (AnswerDeadline). `waylandToo`: the caller would have drawn on
// Wayland as well, so a missing DISPLAY is said as neither variable set.
Display* openDisplay(bool waylandToo = false);

}  // namespace walkers
