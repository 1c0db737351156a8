// A foreign window's connection and events: opening the display, following the window, its end.
#include "host/x11/x11_target.hpp"

#include <X11/Xlib.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <string>

#include "host/x11/x11_desktop.hpp"
#include "host/x11/x11_errors.hpp"
#include "host/x11/x11_image.hpp"
#include "host/x11/x11_refresh.hpp"
#include "host/x11/x11_sight.hpp"

namespace walkers {
namespace {

constexpr long kEvents = StructureNotifyMask | ExposureMask | X11Sight::kWindowEvents;
// What a wallpaper follows on the root window: its size, windows mapped over it (a virtual root,
// a desktop window) and the window manager's list of clients.
constexpr long kRootEvents = kEvents | SubstructureNotifyMask | PropertyChangeMask;

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
  // A wallpaper's own desktop window, while a compositing manager or a desktop window keeps the
  // root window from being seen; 0 otherwise.
  Window own = 0;
  int compositorEvent = -1;  // the XFixes event of a change of compositing manager
  Atom clientList = None;
  std::optional<X11Sight> sight;  // whether anyone can see the window drawn

  explicit State(const X11Choice& choice);
  ~State();
  State(const State&) = delete;
  State& operator=(const State&) = delete;
  void handle(const XEvent& event);
  void watchForVirtualRoot() const;
  long eventsOn(Window drawn) const;
  Window wallpaperWindow();
  void findWallpaper();
  bool ended();
};

X11Target::State::State(const X11Choice& choice) {
  wallpaper = choice.root && !handedWindow();
  display = openDisplay(wallpaper);  // the desktop's background could have been Wayland's too
  try {
    if (wallpaper) {
      clientList = XInternAtom(display, "_NET_CLIENT_LIST", False);
      compositorEvent = watchCompositor(display);
      watchForVirtualRoot();
      const Window chosen = wallpaperWindow();
      window = checkWindow(display, chosen, "there is no window " + hexWindowId(chosen),
                           eventsOn(chosen));
    } else {
      window = chooseWindow(display, choice, kEvents);
    }
    routeXErrors(window.id, true);
    watchForVirtualRoot();
    sight.emplace(display);
    sight->follow(window.id, wallpaper);
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

// A wallpaper watches the root window for a virtual root or a desktop window being mapped over it.
void X11Target::State::watchForVirtualRoot() const {
  if (wallpaper) XSelectInput(display, DefaultRootWindow(display), kRootEvents);
}

// The events selected on the window drawn: the root window's include a wallpaper's.
long X11Target::State::eventsOn(Window drawn) const {
  return wallpaper && drawn == DefaultRootWindow(display) ? kRootEvents : kEvents;
}

// Where a wallpaper draws: a virtual root if there is one; else the own desktop window (made
// now if need be) while a compositing manager runs or a desktop window covers the root; else the
// root window.
Window X11Target::State::wallpaperWindow() {
  const Window root = DefaultRootWindow(display);
  Window chosen = root;
  try {
    chosen = chooseWindow(display, X11Choice{true, 0}, NoEventMask).id;
  } catch (const X11Error&) {  // the new virtual root went as fast as it came
  }
  if (chosen != root) return chosen;
  if (!compositing(display) && !desktopWindowCovers(display, own)) return root;
  if (own == 0) own = makeDesktopWindow(display, kEvents);
  return own;
}

// The desktop background again, after its virtual root went away or a new one was mapped (a
// window manager restarting), a compositing manager started or ended, or a desktop window came
// or went: the window wallpaperWindow() names, drawn afresh when it is another.
void X11Target::State::findWallpaper() {
  X11Window next;
  const Window root = DefaultRootWindow(display);
  try {
    const Window chosen = wallpaperWindow();
    next =
        checkWindow(display, chosen, "there is no window " + hexWindowId(chosen), eventsOn(chosen));
  } catch (const X11Error&) {  // the new virtual root went as fast as it came
    next = checkWindow(display, root, "there is no window " + hexWindowId(root), kRootEvents);
  }
  if (next.id == window.id && !gone) return;
  routeXErrors(next.id, true);
  {
    const TrappedXErrors quiet(display);  // the former window may be gone
    XSelectInput(display, window.id, NoEventMask);
    painter.reset();
  }
  window = next;
  // The own window, no longer needed, goes only now that nothing draws on it.
  if (own != 0 && window.id != own) {
    XDestroyWindow(display, own);
    own = 0;
  }
  painter = std::make_unique<X11Painter>(display, window, shared.get());
  gone = false;
  lost = Rect{0, 0, window.width, window.height};
  watchForVirtualRoot();
  sight->follow(window.id, true);
}

// Whether the window is gone for good: a wallpaper's is replaced instead.
bool X11Target::State::ended() {
  if (windowGone(window.id)) gone = true;
  if (gone && window.id == own) own = 0;  // another client destroyed it: a new one is made
  if (gone && wallpaper) findWallpaper();
  return gone;
}

void X11Target::State::handle(const XEvent& event) {
  const Window root = DefaultRootWindow(display);
  sight->handle(event);
  if (event.type == compositorEvent) {  // a compositing manager started or ended
    findWallpaper();
    return;
  }
  switch (event.type) {
    case ConfigureNotify:
      if (event.xconfigure.window == window.id) {
        window.width = event.xconfigure.width;
        window.height = event.xconfigure.height;
      }
      // The screen changed size (RandR): the own window keeps covering it.
      if (own != 0 && event.xconfigure.window == root) {
        XMoveResizeWindow(display, own, 0, 0, static_cast<unsigned>(event.xconfigure.width),
                          static_cast<unsigned>(event.xconfigure.height));
      }
      // A watched desktop window grown to cover the root, or shrunk from it.
      if (wallpaper && event.xconfigure.event == event.xconfigure.window &&
          event.xconfigure.window != root && event.xconfigure.window != window.id) {
        findWallpaper();
      }
      break;
    case DestroyNotify:
      if (event.xdestroywindow.window == window.id) {
        gone = true;
      } else if (wallpaper && (event.xdestroywindow.event == root ||
                               event.xdestroywindow.event == event.xdestroywindow.window)) {
        findWallpaper();  // perhaps the desktop window that covered the root
      }
      break;
    // A child of the root window, perhaps a new virtual root or desktop window, or a desktop
    // window watched inside its frame (see desktopWindowCovers).
    case MapNotify:
      if (wallpaper && (event.xmap.event == root || event.xmap.event == event.xmap.window) &&
          event.xmap.window != window.id) {
        // Without a window manager nothing else keeps the own window below the others.
        if (own != 0 && !windowManaged(display)) XLowerWindow(display, own);
        findWallpaper();
      }
      break;
    case UnmapNotify:
      if (wallpaper && (event.xunmap.event == root || event.xunmap.event == event.xunmap.window) &&
          event.xunmap.window != window.id) {
        findWallpaper();
      }
      break;
    case PropertyNotify:  // the window manager's clients changed: perhaps a desktop window
      if (wallpaper && event.xproperty.window == root && event.xproperty.atom == clientList) {
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

Sight X11Target::sight(std::chrono::steady_clock::time_point now) {
  if (state_->gone) return {};
  return state_->sight->now(now);
}

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
