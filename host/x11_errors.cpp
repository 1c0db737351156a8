// Xlib's process-wide error handlers: the lost display in one line, trapped errors for checks.
#include "host/x11_errors.hpp"

#include <X11/Xlib.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace walkers {
namespace {

Window drawn = 0;
bool drawnGoesQuietly = false;
bool gone = false;
int trapping = 0;  // TrappedXErrors alive
int trappedError = 0;

// Writes one line on stderr and ends the process: Xlib allows no return from a lost connection,
// and nothing drawn by then needs saving.
[[noreturn]] void lostDisplay(const std::string& reason) {
  const std::string line = "walkers: lost the display: " + reason + "\n";
  [[maybe_unused]] const ssize_t written = ::write(STDERR_FILENO, line.data(), line.size());
  ::_exit(1);
}

int onXError(Display* display, XErrorEvent* error) {
  if (trapping > 0) {
    if (trappedError == 0) trappedError = error->error_code;
    return 0;
  }
  // Requests already on their way when the window was destroyed fail; that is its end.
  if ((error->error_code == BadWindow || error->error_code == BadDrawable) &&
      error->resourceid == drawn && drawn != 0) {
    if (!drawnGoesQuietly) lostDisplay("the window was destroyed");
    gone = true;
    return 0;
  }
  char text[160] = "";
  XGetErrorText(display, error->error_code, text, sizeof text);
  lostDisplay("X error " + std::string(text) + " from request " +
              std::to_string(static_cast<int>(error->request_code)) + "." +
              std::to_string(static_cast<int>(error->minor_code)));
}

int onXIOError(Display* display) {
  const int code = errno;
  const std::string name = DisplayString(display);
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

void routeXErrors(unsigned long drawnWindow, bool goneQuietly) {
  install();
  drawn = drawnWindow;
  drawnGoesQuietly = goneQuietly;
  gone = false;
}

bool windowGone() { return gone; }

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

std::string cannotConnect(const std::string& name, int code) {
  std::string why = "cannot connect to display \"" + name + "\"";
  if (code == EMFILE || code == ENFILE || code == ENOMEM)
    why += ": " + std::string(std::strerror(code));
  return why;
}

}  // namespace walkers
