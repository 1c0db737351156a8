// A foreign window's connection and events: opening the display, following the window, its end.
#include "host/x11/x11_target.hpp"

#include <X11/Xlib.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <string>

#include "host/x11/x11_errors.hpp"
#include "host/x11/x11_image.hpp"
#include "host/x11/x11_refresh.hpp"

namespace walkers {
namespace {

constexpr long kEvents = StructureNotifyMask | ExposureMask;

}  // namespace

struct X11Target::State {
  Display* display = nullptr;
  X11Window window;
  std::unique_ptr<X11SharedPixels> shared;  // the canvas's segments, when the first window suits
  std::unique_ptr<X11Painter> painter;
  std::chrono::nanoseconds framePeriod{};
  bool gone = false;
  std::optional<Rect> lost;  // bounds of what lost its picture since the last takeLost()
  // Drawing the desktop's background (--root without XSCREENSAVER_WINDOW): when the virtual root
  // goes, a new one or the root window takes its place.
  bool wallpaper = false;

  explicit State(const X11Choice& choice);
  ~State();
  State(const State&) = delete;
  State& operator=(const State&) = delete;
  void handle(const XEvent& event);
  void watchForVirtualRoot() const;
  void findWallpaper();
  bool ended();
};

X11Target::State::State(const X11Choice& choice) {
  wallpaper = choice.root && !handedWindow();
  display = openDisplay(wallpaper);  // the desktop's background could have been Wayland's too
  try {
    window = chooseWindow(display, choice, kEvents);
    routeXErrors(window.id, true);
    watchForVirtualRoot();
    if (X11SharedPixels::suits(display, window)) {
      shared = std::make_unique<X11SharedPixels>(display);
    }
    painter = std::make_unique<X11Painter>(display, window, shared.get());
    framePeriod = refreshPeriod(display, window.id, window.width, window.height);
    XFlush(display);
  } catch (...) {
    closeDisplayQuietly(display);
    throw;
  }
}

X11Target::State::~State() {
  {
    const TrappedXErrors quiet(display);  // the window may be gone
    painter.reset();
    shared.reset();
  }
  closeDisplayQuietly(display);
}

// A wallpaper on the root window watches for a virtual root being mapped over it.
void X11Target::State::watchForVirtualRoot() const {
  if (wallpaper && window.id == DefaultRootWindow(display)) {
    XSelectInput(display, window.id, kEvents | SubstructureNotifyMask);
  }
}

// The desktop background again, after its virtual root went away or a new one was mapped (a
// window manager restarting): the new virtual root, else the root window, drawn afresh.
void X11Target::State::findWallpaper() {
  X11Window next;
  try {
    next = chooseWindow(display, X11Choice{true, 0}, kEvents);
  } catch (const X11Error&) {  // the new virtual root went as fast as it came
    const Window root = DefaultRootWindow(display);
    next = checkWindow(display, root, "there is no window " + hexWindowId(root), kEvents);
  }
  if (next.id == window.id && !gone) return;
  routeXErrors(next.id, true);
  {
    const TrappedXErrors quiet(display);  // the former window may be gone
    XSelectInput(display, window.id, NoEventMask);
    painter.reset();
  }
  window = next;
  painter = std::make_unique<X11Painter>(display, window, shared.get());
  gone = false;
  lost = Rect{0, 0, window.width, window.height};
  watchForVirtualRoot();
}

// Whether the window is gone for good: a wallpaper's is replaced instead.
bool X11Target::State::ended() {
  if (windowGone(window.id)) gone = true;
  if (gone && wallpaper) findWallpaper();
  return gone;
}

void X11Target::State::handle(const XEvent& event) {
  switch (event.type) {
    case ConfigureNotify:
      if (event.xconfigure.window == window.id) {
        window.width = event.xconfigure.width;
        window.height = event.xconfigure.height;
      }
      break;
    case DestroyNotify:
      if (event.xdestroywindow.window == window.id) gone = true;
      break;
    case MapNotify:  // a child of the wallpaper's root window: perhaps a new virtual root
      if (wallpaper && event.xmap.event == window.id && event.xmap.window != window.id) {
        findWallpaper();
      }
      break;
    case Expose: {
      if (event.xexpose.window != window.id) break;  // a former window's
      const XExposeEvent& exposed = event.xexpose;
      const Rect part{exposed.x, exposed.y, exposed.x + exposed.width, exposed.y + exposed.height};
      lost = !lost ? part
                   : Rect{std::min(lost->left, part.left), std::min(lost->top, part.top),
                          std::max(lost->right, part.right), std::max(lost->bottom, part.bottom)};
      break;
    }
    default:
      break;
  }
}

X11Target::X11Target(const X11Choice& choice) : state_(std::make_unique<State>(choice)) {}

X11Target::~X11Target() = default;

int X11Target::connection() const { return ConnectionNumber(state_->display); }
int X11Target::width() const { return state_->window.width; }
int X11Target::height() const { return state_->window.height; }
unsigned long X11Target::window() const { return state_->window.id; }
bool X11Target::sharedMemory() const { return state_->painter->sharedMemory(); }

PixelMemory* X11Target::pixelMemory() const { return state_->shared.get(); }
std::chrono::nanoseconds X11Target::framePeriod() const { return state_->framePeriod; }

std::optional<Rect> X11Target::takeLost() {
  auto lost = state_->lost;
  state_->lost.reset();
  return lost;
}

X11Target::Event X11Target::pump() {
  State& state = *state_;
  const int width = state.window.width;
  const int height = state.window.height;
  if (state.ended()) return Event::kGone;
  // One read of the connection; then only what it brought.
  for (int queued = XPending(state.display); queued > 0 && !state.ended();
       queued = XQLength(state.display)) {
    XEvent event;
    XNextEvent(state.display, &event);
    state.handle(event);
  }
  if (state.ended()) return Event::kGone;
  return width != state.window.width || height != state.window.height ? Event::kResized
                                                                      : Event::kNone;
}

void X11Target::present(const Canvas& canvas, const FramePlan& plan) {
  if (state_->gone || windowGone(state_->window.id)) return;
  state_->painter->present(canvas, plan);
}

}  // namespace walkers
