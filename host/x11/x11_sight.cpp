// Following the windows over the one walkers draws on, its map state and the display's power.
#include "host/x11/x11_sight.hpp"

#include <X11/Xatom.h>
#include <X11/Xutil.h>
#include <X11/extensions/dpms.h>

#include <algorithm>
#include <climits>

#include "host/x11/x11_errors.hpp"

namespace walkers {
namespace {

// How often the display's power is asked while nothing else says the picture is unseen.
constexpr std::chrono::seconds kPowerRecheck{1};

short clampShort(int value) { return static_cast<short>(std::clamp(value, SHRT_MIN, SHRT_MAX)); }
unsigned short clampSize(int value) {
  return static_cast<unsigned short>(std::clamp(value, 0, USHRT_MAX));
}

// A region of one rectangle.
Region rectangle(int x, int y, int width, int height) {
  XRectangle part{clampShort(x), clampShort(y), clampSize(width), clampSize(height)};
  Region region = XCreateRegion();
  XUnionRectWithRegion(&part, region, region);
  return region;
}

}  // namespace

X11Sight::X11Sight(Display* display)
    : display_(display),
      root_(DefaultRootWindow(display)),
      opacity_(XInternAtom(display, "_NET_WM_WINDOW_OPACITY", False)) {
  int event = 0;
  int error = 0;
  dpms_ = DPMSQueryExtension(display_, &event, &error) && DPMSCapable(display_);
}

void X11Sight::follow(Window drawn, bool wallpaper) {
  drawn_ = drawn;
  wallpaper_ = wallpaper;
  changed_ = true;
  if (wallpaper_) {
    readStack();
    return;
  }
  const TrappedXErrors trapped(display_);  // the window may be gone already: that ends the loop
  XWindowAttributes attributes{};
  viewable_ =
      !XGetWindowAttributes(display_, drawn_, &attributes) || attributes.map_state == IsViewable;
  obscured_ = false;
}

// The root's children, bottom first. A compositing manager's overlay window is announced to the
// root's listeners like a child (created and mapped over everything) but is not among them.
std::vector<Window> X11Sight::rootChildren() {
  std::vector<Window> list;
  Window rootReturn = 0;
  Window parent = 0;
  Window* children = nullptr;
  unsigned int count = 0;
  if (XQueryTree(display_, root_, &rootReturn, &parent, &children, &count) && children) {
    list.assign(children, children + count);
  }
  if (children) XFree(children);
  return list;
}

// The root's children as they stand, and which of them holds the drawn window.
void X11Sight::readStack() {
  stack_.clear();
  const TrappedXErrors trapped(display_);  // windows may vanish meanwhile: they are left out
  for (const Window child : rootChildren()) {
    Top top;
    top.id = child;
    read(top);
    stack_.push_back(top);
  }
  // The drawn window's ancestor among the root's children.
  Window rootReturn = 0;
  Window parent = 0;
  Window* children = nullptr;
  unsigned int count = 0;
  ours_ = drawn_;
  for (Window window = drawn_; window != root_;) {
    ours_ = window;
    children = nullptr;
    if (!XQueryTree(display_, window, &rootReturn, &parent, &children, &count)) break;
    if (children) XFree(children);
    window = parent;
  }
  // The drawn window's place on the screen.
  XWindowAttributes attributes{};
  area_ = {0, 0, DisplayWidth(display_, DefaultScreen(display_)),
           DisplayHeight(display_, DefaultScreen(display_))};
  if (drawn_ != root_ && XGetWindowAttributes(display_, drawn_, &attributes)) {
    Window child = 0;
    XTranslateCoordinates(display_, drawn_, root_, 0, 0, &area_.x, &area_.y, &child);
    area_.width = attributes.width;
    area_.height = attributes.height;
  }
}

// A window's place, map state and kind, as the server says (errors trapped by the caller).
void X11Sight::read(Top& top) {
  XWindowAttributes attributes{};
  top.known = true;
  if (!XGetWindowAttributes(display_, top.id, &attributes)) return;
  top.x = attributes.x;
  top.y = attributes.y;
  top.width = attributes.width + 2 * attributes.border_width;
  top.height = attributes.height + 2 * attributes.border_width;
  top.mapped = attributes.map_state != IsUnmapped;
  // A window with an alpha channel, or one a compositing manager is told to blend
  // (_NET_WM_WINDOW_OPACITY below full), may let what is below show through.
  top.opaque = attributes.c_class == InputOutput && attributes.depth != 32;
  if (!top.opaque) return;
  Atom type = None;
  int format = 0;
  unsigned long items = 0;
  unsigned long after = 0;
  unsigned char* data = nullptr;
  if (XGetWindowProperty(display_, top.id, opacity_, 0, 1, False, XA_CARDINAL, &type, &format,
                         &items, &after, &data) == Success &&
      type == XA_CARDINAL && format == 32 && items == 1) {
    top.opaque = *reinterpret_cast<const unsigned long*>(data) >= 0xFFFFFFFFUL;
  }
  if (data) XFree(data);
}

X11Sight::Top* X11Sight::find(Window id) {
  const auto found =
      std::find_if(stack_.begin(), stack_.end(), [&](const Top& top) { return top.id == id; });
  return found == stack_.end() ? nullptr : &*found;
}

// Restacks `id` just above `above`, or at the bottom for None.
void X11Sight::place(Window id, Window above) {
  const auto from =
      std::find_if(stack_.begin(), stack_.end(), [&](const Top& top) { return top.id == id; });
  if (from == stack_.end()) return;
  const Top moved = *from;
  stack_.erase(from);
  auto to = stack_.begin();
  if (above != None) {
    to =
        std::find_if(stack_.begin(), stack_.end(), [&](const Top& top) { return top.id == above; });
    to = to == stack_.end() ? stack_.end() : to + 1;
  }
  stack_.insert(to, moved);
}

void X11Sight::handle(const XEvent& event) {
  if (!wallpaper_) {
    switch (event.type) {
      case VisibilityNotify:
        if (event.xvisibility.window != drawn_) break;
        obscured_ = event.xvisibility.state == VisibilityFullyObscured;
        viewable_ = true;  // only a viewable window hears of its visibility
        break;
      case MapNotify:
        if (event.xmap.window == drawn_) viewable_ = true;
        break;
      case UnmapNotify:
        if (event.xunmap.window == drawn_) viewable_ = false;
        break;
      default:
        break;
    }
    return;
  }
  switch (event.type) {
    case CreateNotify: {
      const XCreateWindowEvent& created = event.xcreatewindow;
      if (created.parent != root_ || find(created.window)) break;
      Top top;
      top.id = created.window;
      top.x = created.x;
      top.y = created.y;
      top.width = created.width + 2 * created.border_width;
      top.height = created.height + 2 * created.border_width;
      stack_.push_back(top);  // new windows start unmapped, at the top
      break;
    }
    case DestroyNotify:
      if (event.xdestroywindow.event != root_) break;
      std::erase_if(stack_, [&](const Top& top) { return top.id == event.xdestroywindow.window; });
      changed_ = true;
      break;
    case MapNotify:
    case UnmapNotify:
      if (event.xany.window != root_) break;  // the event window: the root, as their parent
      if (Top* top = find(event.type == MapNotify ? event.xmap.window : event.xunmap.window)) {
        top->mapped = event.type == MapNotify;
        changed_ = true;
      }
      break;
    case ConfigureNotify: {
      const XConfigureEvent& configured = event.xconfigure;
      if (configured.event != root_) break;
      if (configured.window == root_ || configured.window == ours_ || configured.window == drawn_) {
        readStack();  // the screen or the drawn window changed size or place
      } else if (Top* top = find(configured.window)) {
        top->x = configured.x;
        top->y = configured.y;
        top->width = configured.width + 2 * configured.border_width;
        top->height = configured.height + 2 * configured.border_width;
        place(configured.window, configured.above);
      }
      changed_ = true;
      break;
    }
    case CirculateNotify: {
      if (event.xcirculate.event != root_) break;
      const Top* top = find(event.xcirculate.window);
      if (!top) break;
      place(top->id, event.xcirculate.place == PlaceOnTop ? stack_.back().id : None);
      changed_ = true;
      break;
    }
    case GravityNotify:
      if (event.xgravity.event != root_) break;
      if (Top* top = find(event.xgravity.window)) {
        top->x = event.xgravity.x;
        top->y = event.xgravity.y;
        changed_ = true;
      }
      break;
    case ReparentNotify: {  // a window manager framing a window, or giving it back
      const XReparentEvent& moved = event.xreparent;
      if (moved.event != root_) break;
      changed_ = true;
      if (moved.window == drawn_ || moved.window == ours_) {
        readStack();  // the drawn window went into a frame, or out of one
      } else if (moved.parent != root_) {
        std::erase_if(stack_, [&](const Top& top) { return top.id == moved.window; });
      } else if (!find(moved.window)) {
        Top top;  // back on the root, at the top, as it was (mapped or not)
        top.id = moved.window;
        const TrappedXErrors trapped(display_);
        read(top);
        stack_.push_back(top);
      }
      break;
    }
    default:
      break;
  }
}

// Whether opaque mapped windows above the drawn one leave none of it bare.
bool X11Sight::covered() {
  if (!changed_) return coveredNow_;
  changed_ = false;
  coveredNow_ = false;
  if (std::any_of(stack_.begin(), stack_.end(),
                  [](const Top& top) { return top.mapped && !top.known; })) {
    const TrappedXErrors trapped(display_);
    const std::vector<Window> children = rootChildren();
    std::erase_if(stack_, [&](const Top& top) {
      return !top.known && std::find(children.begin(), children.end(), top.id) == children.end();
    });
    for (Top& top : stack_) {
      if (top.mapped && !top.known) read(top);
    }
  }
  auto above = stack_.begin();
  if (ours_ != root_) {
    above =
        std::find_if(stack_.begin(), stack_.end(), [&](const Top& top) { return top.id == ours_; });
    if (above == stack_.end()) return false;  // not known yet: taken as seen
    ++above;
  }
  Region bare = rectangle(area_.x, area_.y, area_.width, area_.height);
  for (auto top = above; top != stack_.end() && !XEmptyRegion(bare); ++top) {
    if (!top->mapped || !top->opaque) continue;
    Region window = rectangle(top->x, top->y, top->width, top->height);
    XSubtractRegion(bare, window, bare);
    XDestroyRegion(window);
  }
  coveredNow_ = XEmptyRegion(bare);
  XDestroyRegion(bare);
  return coveredNow_;
}

bool X11Sight::displayOff(std::chrono::steady_clock::time_point now) {
  if (!dpms_) return false;
  if (powerAskedAt_ == std::chrono::steady_clock::time_point{} ||
      now - powerAskedAt_ >= kPowerRecheck) {
    CARD16 level = DPMSModeOn;
    BOOL enabled = False;
    off_ = DPMSInfo(display_, &level, &enabled) && enabled && level != DPMSModeOn;
    powerAskedAt_ = now;
  }
  return off_;
}

Sight X11Sight::now(std::chrono::steady_clock::time_point now) {
  Sight sight;
  sight.covered = wallpaper_ ? covered() : !viewable_ || obscured_;
  // Covered, the power does not matter: no reason to wake for it.
  if (!sight.covered && dpms_) {
    sight.off = displayOff(now);
    sight.askAgainAt = powerAskedAt_ + kPowerRecheck;
  }
  // Asking the server may have queued events: the loop reads them before it sleeps.
  if (XQLength(display_) > 0) sight.askAgainAt = now;
  return sight;
}

}  // namespace walkers
