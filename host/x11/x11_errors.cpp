// Xlib's process-wide error handlers (the lost display in one line, trapped errors for checks)
// and the connection that puts them in place.
#include "host/x11/x11_errors.hpp"

#include <X11/Xlib.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "common/option_text.hpp"
#include "host/core/attempts.hpp"
#include "host/unix/socket_check.hpp"
#include "host/x11/x11_target.hpp"

namespace walkers {
namespace {

Window drawn = 0;           // whose destruction ends the program
std::vector<Window> quiet;  // whose destruction only ends drawing there (a screensaver has several)
std::vector<Window> gone;
int trapping = 0;  // TrappedXErrors alive
int trappedError = 0;

int onXError(Display* display, XErrorEvent* error) {
  if (trapping > 0) {
    if (trappedError == 0) trappedError = error->error_code;
    return 0;
  }
  // Requests already on their way when the window was destroyed fail; that is its end.
  if (error->error_code == BadWindow || error->error_code == BadDrawable) {
    const Window window = error->resourceid;
    if (std::find(quiet.begin(), quiet.end(), window) != quiet.end()) {
      if (std::find(gone.begin(), gone.end(), window) == gone.end()) gone.push_back(window);
      return 0;
    }
    if (window == drawn && drawn != 0) lostDisplay("the window was destroyed");
  }
  char text[160] = "";
  XGetErrorText(display, error->error_code, text, sizeof text);
  lostDisplay("X error " + std::string(text) + " from request " +
              std::to_string(static_cast<int>(error->request_code)) + "." +
              std::to_string(static_cast<int>(error->minor_code)));
}

int onXIOError(Display* display) {
  const int code = errno;
  const std::string name = escapeForMessage(DisplayString(display), kEchoLimit);
  // A connection the server closed reads as end of file; Xlib leaves EAGAIN or EPIPE behind.
  if (code == 0 || code == EAGAIN || code == EPIPE || code == ECONNRESET) {
    lostDisplay("the X server \"" + name + "\" closed the connection");
  }
  lostDisplay(std::string(std::strerror(code)) + " on the X server \"" + name + "\"");
}

void install() {
  XSetErrorHandler(onXError);
  XSetIOErrorHandler(onXIOError);
}

}  // namespace

// Xlib allows no return from a lost connection, and nothing drawn by then needs saving.
void lostDisplay(const std::string& reason) {
  const std::string line = "walkers: lost the display: " + reason + "\n";
  [[maybe_unused]] const ssize_t written = ::write(STDERR_FILENO, line.data(), line.size());
  ::_exit(1);
}

void routeXErrors(unsigned long drawnWindow, bool goneQuietly) {
  install();
  if (drawnWindow == 0) return;
  if (!goneQuietly) {
    drawn = drawnWindow;
    return;
  }
  if (std::find(quiet.begin(), quiet.end(), drawnWindow) == quiet.end()) {
    quiet.push_back(drawnWindow);
  }
  std::erase(gone, drawnWindow);
}

bool windowGone(unsigned long window) {
  return std::find(gone.begin(), gone.end(), window) != gone.end();
}

TrappedXErrors::TrappedXErrors(Display* display) : display_(display) {
  install();
  XSync(display_, False);
  ++trapping;
  trappedError = 0;
}

TrappedXErrors::~TrappedXErrors() {
  XSync(display_, False);
  --trapping;
}

int TrappedXErrors::first() {
  XSync(display_, False);
  return trappedError;
}

void closeDisplayQuietly(Display* display) {
  ++trapping;
  XCloseDisplay(display);
  --trapping;
}

namespace {

std::string cannotConnectTo(const std::string& name) {
  return "cannot connect to display \"" + escapeForMessage(name, kEchoLimit) + "\"";
}

}  // namespace

std::string cannotConnect(const std::string& name, int code) {
  std::string why = cannotConnectTo(name);
  const std::string reason = whyDisplayUnreachable(name, code);
  if (!reason.empty()) why += ": " + reason;
  return afterFailedAttempts(why);
}

Display* openDisplay(bool waylandToo) {
  const char* name = std::getenv("DISPLAY");
  if (!name || !*name) {
    throw X11Error(waylandToo ? "no display (neither DISPLAY nor WAYLAND_DISPLAY is set)"
                              : "no display (DISPLAY is not set)");
  }
  Display* display = nullptr;
  int code = 0;
  {
    const AnswerDeadline deadline(afterFailedAttempts(cannotConnectTo(name)) +
                                  ": no answer within " + std::to_string(kAnswerDeadline.count()) +
                                  " s");
    errno = 0;
    display = XOpenDisplay(nullptr);
    code = errno;
  }
  if (!display) throw X11Error(cannotConnect(name, code));
  routeXErrors();
  return display;
}

}  // namespace walkers
