// The least window manager that honours fullscreen requests, for the end-to-end tests: it maps
// and configures windows as asked, and on a _NET_WM_STATE fullscreen request (or that state set
// before mapping) covers the screen with the window, putting it back when asked to leave.
#include <X11/Xatom.h>
#include <X11/Xlib.h>

#include <cstdio>
#include <map>

namespace {

struct Geometry {
  int x, y;
  unsigned width, height;
};

Display* display;
Atom wmState, fullscreenAtom;
std::map<Window, Geometry> saved;  // windows now fullscreen, and where they were

void setFullscreen(Window window, bool on) {
  if (on == saved.contains(window)) return;
  if (on) {
    Window root;
    int x, y;
    unsigned width, height, border, depth;
    XGetGeometry(display, window, &root, &x, &y, &width, &height, &border, &depth);
    saved[window] = {x, y, width, height};
    XMoveResizeWindow(display, window, 0, 0, DisplayWidth(display, 0), DisplayHeight(display, 0));
    XChangeProperty(display, window, wmState, XA_ATOM, 32, PropModeReplace,
                    reinterpret_cast<unsigned char*>(&fullscreenAtom), 1);
  } else {
    const Geometry g = saved[window];
    saved.erase(window);
    XMoveResizeWindow(display, window, g.x, g.y, g.width, g.height);
    XDeleteProperty(display, window, wmState);
  }
  std::printf("fullscreen %s\n", on ? "on" : "off");
  std::fflush(stdout);
}

bool asksFullscreen(Window window) {
  Atom type;
  int format;
  unsigned long count, after;
  unsigned char* data = nullptr;
  bool found = false;
  if (XGetWindowProperty(display, window, wmState, 0, 16, False, XA_ATOM, &type, &format, &count,
                         &after, &data) == Success &&
      data) {
    const auto* atoms = reinterpret_cast<const Atom*>(data);
    for (unsigned long i = 0; i < count; ++i) found = found || atoms[i] == fullscreenAtom;
    XFree(data);
  }
  return found;
}

}  // namespace

int main() {
  display = XOpenDisplay(nullptr);
  if (!display) return 1;
  const Window root = DefaultRootWindow(display);
  wmState = XInternAtom(display, "_NET_WM_STATE", False);
  fullscreenAtom = XInternAtom(display, "_NET_WM_STATE_FULLSCREEN", False);
  XSelectInput(display, root, SubstructureRedirectMask | SubstructureNotifyMask);
  XSync(display, False);
  std::printf("ready\n");
  std::fflush(stdout);
  for (;;) {
    XEvent event;
    XNextEvent(display, &event);
    if (event.type == MapRequest) {
      XMapWindow(display, event.xmaprequest.window);
      if (asksFullscreen(event.xmaprequest.window)) setFullscreen(event.xmaprequest.window, true);
    } else if (event.type == ConfigureRequest) {
      const XConfigureRequestEvent& request = event.xconfigurerequest;
      XWindowChanges changes{
          request.x,     request.y,     request.width, request.height, request.border_width,
          request.above, request.detail};
      XConfigureWindow(display, request.window, static_cast<unsigned>(request.value_mask),
                       &changes);
    } else if (event.type == ClientMessage && event.xclient.message_type == wmState) {
      const long action = event.xclient.data.l[0];  // 0 remove, 1 add, 2 toggle
      const Window window = event.xclient.window;
      if (static_cast<Atom>(event.xclient.data.l[1]) == fullscreenAtom ||
          static_cast<Atom>(event.xclient.data.l[2]) == fullscreenAtom) {
        setFullscreen(window, action == 2 ? !saved.contains(window) : action == 1);
      }
    } else if (event.type == DestroyNotify) {
      saved.erase(event.xdestroywindow.window);
    }
    XFlush(display);
  }
}
