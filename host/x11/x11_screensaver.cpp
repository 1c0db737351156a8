// Covering X11 monitors with override-redirect windows, taking the input, and waiting for it.
#include "host/x11/x11_screensaver.hpp"

#include <X11/Xlib.h>
#include <X11/extensions/Xrandr.h>
#include <poll.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>

#include "common/option_text.hpp"
#include "host/core/seams.hpp"
#include "host/core/wait_time.hpp"
#include "host/x11/x11_errors.hpp"
#include "host/x11/x11_host.hpp"
#include "host/x11/x11_target.hpp"
#include "host/x11/x11_window.hpp"

namespace walkers {
namespace {

constexpr int kGrabTries = 20;  // 50 ms apart: another program's grab gets a second to end
constexpr long kInputEvents = KeyPressMask | ButtonPressMask | PointerMotionMask;

struct Area {
  int x, y, width, height;
};

// The monitors RandR reports, or the whole screen when it reports none.
std::vector<Area> monitors(Display* display) {
  std::vector<Area> areas;
  int count = 0;
  int event = 0;
  int error = 0;
  if (XRRQueryExtension(display, &event, &error)) {
    if (XRRMonitorInfo* found = XRRGetMonitors(display, DefaultRootWindow(display), True, &count)) {
      for (int k = 0; k < count; ++k) {
        if (found[k].width > 0 && found[k].height > 0) {
          areas.push_back({found[k].x, found[k].y, found[k].width, found[k].height});
        }
      }
      XRRFreeMonitors(found);
    }
  }
  if (areas.empty()) {
    areas.push_back({0, 0, DisplayWidth(display, DefaultScreen(display)),
                     DisplayHeight(display, DefaultScreen(display))});
  }
  return areas;
}

// The windows that cover the monitors take the screen's own visual: a screen walkers cannot draw
// on is refused by its name, not by the name of a window walkers made itself.
void checkScreen(Display* display) {
  const char* name = DisplayString(display);
  const std::string screen = "screen " + std::to_string(DefaultScreen(display)) + " of display \"" +
                             escapeForMessage(name ? name : "", kEchoLimit) + "\"";
  checkWindow(display, DefaultRootWindow(display), screen + " has no root window", 0, {screen});
}

}  // namespace

struct X11Screensaver::Connection {
  Display* display = nullptr;
  Cursor blank = None;
  std::vector<Window> windows;

  Connection() : display(openDisplay(true)) {}
  ~Connection() {
    if (!display) return;
    XUngrabPointer(display, CurrentTime);
    XUngrabKeyboard(display, CurrentTime);
    for (const Window window : windows) XDestroyWindow(display, window);
    if (blank != None) XFreeCursor(display, blank);
    XCloseDisplay(display);
  }
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  // An empty cursor: nothing moves over the patterns.
  void makeBlankCursor() {
    const Window root = DefaultRootWindow(display);
    const char nothing[1] = {0};
    const Pixmap pixmap = XCreateBitmapFromData(display, root, nothing, 1, 1);
    XColor black{};
    blank = XCreatePixmapCursor(display, pixmap, pixmap, &black, &black, 0, 0);
    XFreePixmap(display, pixmap);
  }

  // A black window over `area`, above every other, that no window manager handles.
  Window cover(const Area& area) {
    XSetWindowAttributes attributes{};
    attributes.override_redirect = True;
    attributes.background_pixel = BlackPixel(display, DefaultScreen(display));
    attributes.event_mask = kInputEvents;
    attributes.cursor = blank;
    const Window window = XCreateWindow(
        display, DefaultRootWindow(display), area.x, area.y, static_cast<unsigned>(area.width),
        static_cast<unsigned>(area.height), 0, CopyFromParent, InputOutput, CopyFromParent,
        CWOverrideRedirect | CWBackPixel | CWEventMask | CWCursor, &attributes);
    XStoreName(display, window, "walkers");
    XMapRaised(display, window);
    windows.push_back(window);
    return window;
  }

  void grab() {
    const Window first = windows.front();
    bool keyboard = false;
    bool pointer = false;
    for (int attempt = 0; attempt < kGrabTries && !(keyboard && pointer); ++attempt) {
      if (attempt > 0) std::this_thread::sleep_for(std::chrono::milliseconds(50));
      keyboard = keyboard || XGrabKeyboard(display, first, False, GrabModeAsync, GrabModeAsync,
                                           CurrentTime) == GrabSuccess;
      pointer = pointer ||
                XGrabPointer(display, first, False, kInputEvents & ~KeyPressMask, GrabModeAsync,
                             GrabModeAsync, None, blank, CurrentTime) == GrabSuccess;
    }
    if (!keyboard) XSetInputFocus(display, first, RevertToParent, CurrentTime);
  }
};

X11Screensaver::X11Screensaver(StopRequest& stop)
    : stop_(stop), connection_(std::make_unique<Connection>()) {
  checkScreen(connection_->display);
  connection_->makeBlankCursor();
  for (const Area& area : monitors(connection_->display)) {
    const Window window = connection_->cover(area);
    XSync(connection_->display, False);  // the window exists before another connection looks
    hosts_.push_back(std::make_unique<X11Host>(X11Choice{false, window}, stop));
  }
  connection_->grab();
  XFlush(connection_->display);
}

X11Screensaver::~X11Screensaver() {
  hosts_.clear();  // their connections first, while the windows still exist
}

bool X11Screensaver::follow(Patterns& patterns) {
  if (!started_) {
    for (const auto& host : hosts_) patterns.add(*host);
    started_ = true;
  }
  return true;
}

std::uint64_t X11Screensaver::inputs() {
  Display* display = connection_->display;
  while (XPending(display) > 0) {
    XEvent event;
    XNextEvent(display, &event);
    if (event.type == KeyPress || event.type == ButtonPress || event.type == MotionNotify) {
      ++inputs_;
    }
  }
  return inputs_;
}

void X11Screensaver::waitUntil(LoopClock::time_point deadline) {
  std::vector<pollfd> inputs{{ConnectionNumber(connection_->display), POLLIN, 0},
                             {static_cast<int>(stop_.waitable()), POLLIN, 0}};
  for (const auto& host : hosts_) inputs.push_back({host->connection(), POLLIN, 0});
  const int timeout = waitMilliseconds(deadline, LoopClock::now());
  ::poll(inputs.data(), inputs.size(), timeout);
}

}  // namespace walkers
