// Finding a compositing manager or a desktop window, and making the window drawn instead.
#include "host/x11/x11_desktop.hpp"

#include <X11/Xatom.h>
#include <X11/Xutil.h>
#include <X11/extensions/Xfixes.h>
#include <X11/extensions/shape.h>

#include <string>
#include <vector>

#include "host/x11/x11_errors.hpp"

namespace walkers {
namespace {

Atom compositorSelection(Display* display) {
  const std::string name = "_NET_WM_CM_S" + std::to_string(DefaultScreen(display));
  return XInternAtom(display, name.c_str(), False);
}

// The values of a 32-bit property (atoms or windows) of `window`, empty when it has none.
std::vector<unsigned long> longs(Display* display, Window window, const char* property, Atom type) {
  std::vector<unsigned long> values;
  const Atom name = XInternAtom(display, property, True);
  if (name == None) return values;
  Atom actual = None;
  int format = 0;
  unsigned long items = 0;
  unsigned long after = 0;
  unsigned char* data = nullptr;
  if (XGetWindowProperty(display, window, name, 0, 4096, False, type, &actual, &format, &items,
                         &after, &data) == Success &&
      actual == type && format == 32) {
    const auto* list = reinterpret_cast<const unsigned long*>(data);
    values.assign(list, list + items);
  }
  if (data) XFree(data);
  return values;
}

bool typedDesktop(Display* display, Window window, Atom desktopType) {
  for (const unsigned long type : longs(display, window, "_NET_WM_WINDOW_TYPE", XA_ATOM)) {
    if (type == desktopType) return true;
  }
  return false;
}

bool covers(Display* display, Window window, const XWindowAttributes& root) {
  XWindowAttributes attributes{};
  if (!XGetWindowAttributes(display, window, &attributes)) return false;
  if (attributes.map_state != IsViewable) return false;
  int x = 0;
  int y = 0;
  Window child = 0;
  XTranslateCoordinates(display, window, root.root, 0, 0, &x, &y, &child);
  return x <= 0 && y <= 0 && x + attributes.width >= root.width &&
         y + attributes.height >= root.height;
}

void setAtoms(Display* display, Window window, const char* property,
              const std::vector<const char*>& names) {
  std::vector<Atom> atoms;
  atoms.reserve(names.size());
  for (const char* name : names) atoms.push_back(XInternAtom(display, name, False));
  XChangeProperty(display, window, XInternAtom(display, property, False), XA_ATOM, 32,
                  PropModeReplace, reinterpret_cast<const unsigned char*>(atoms.data()),
                  static_cast<int>(atoms.size()));
}

}  // namespace

bool compositing(Display* display) {
  return XGetSelectionOwner(display, compositorSelection(display)) != None;
}

bool desktopWindowCovers(Display* display, Window own) {
  const Atom desktopType = XInternAtom(display, "_NET_WM_WINDOW_TYPE_DESKTOP", True);
  if (desktopType == None) return false;  // nobody ever typed a window so
  const Window root = DefaultRootWindow(display);
  const TrappedXErrors trapped(display);  // a window may vanish meanwhile: it is just skipped
  XWindowAttributes rootAttributes{};
  XGetWindowAttributes(display, root, &rootAttributes);
  // Without a window manager a desktop is a child of the root; with one, among its clients.
  std::vector<unsigned long> candidates = longs(display, root, "_NET_CLIENT_LIST", XA_WINDOW);
  Window rootReturn = 0;
  Window parent = 0;
  Window* children = nullptr;
  unsigned int count = 0;
  if (XQueryTree(display, root, &rootReturn, &parent, &children, &count)) {
    candidates.insert(candidates.end(), children, children + count);
  }
  if (children) XFree(children);
  bool covered = false;
  for (const unsigned long window : candidates) {
    if (window == own || !typedDesktop(display, window, desktopType)) continue;
    // A window manager maps a client inside its frame after the frame, and the root hears only
    // of the frame: the client's own mapping is watched for.
    XSelectInput(display, window, StructureNotifyMask);
    covered = covered || covers(display, window, rootAttributes);
  }
  return covered;
}

bool windowManaged(Display* display) {
  return !longs(display, DefaultRootWindow(display), "_NET_SUPPORTING_WM_CHECK", XA_WINDOW).empty();
}

Window makeDesktopWindow(Display* display, long eventMask) {
  const int screen = DefaultScreen(display);
  const Window root = RootWindow(display, screen);
  XSetWindowAttributes attributes{};
  attributes.background_pixel = BlackPixel(display, screen);
  attributes.event_mask = eventMask;
  const Window window =
      XCreateWindow(display, root, 0, 0, static_cast<unsigned>(DisplayWidth(display, screen)),
                    static_cast<unsigned>(DisplayHeight(display, screen)), 0, CopyFromParent,
                    InputOutput, CopyFromParent, CWBackPixel | CWEventMask, &attributes);
  XStoreName(display, window, "walkers");
  XClassHint names{const_cast<char*>("walkers"), const_cast<char*>("walkers")};
  XSetClassHint(display, window, &names);
  XWMHints hints{};
  hints.flags = InputHint;
  hints.input = False;
  XSetWMHints(display, window, &hints);
  setAtoms(display, window, "_NET_WM_WINDOW_TYPE", {"_NET_WM_WINDOW_TYPE_DESKTOP"});
  setAtoms(display, window, "_NET_WM_STATE",
           {"_NET_WM_STATE_BELOW", "_NET_WM_STATE_STICKY", "_NET_WM_STATE_SKIP_TASKBAR",
            "_NET_WM_STATE_SKIP_PAGER"});
  const unsigned long everyWorkspace = 0xFFFFFFFF;
  XChangeProperty(display, window, XInternAtom(display, "_NET_WM_DESKTOP", False), XA_CARDINAL, 32,
                  PropModeReplace, reinterpret_cast<const unsigned char*>(&everyWorkspace), 1);
  // An empty input shape: clicks and the pointer reach the window below, the root's menus too.
  int shapeEvent = 0;
  int shapeError = 0;
  if (XShapeQueryExtension(display, &shapeEvent, &shapeError)) {
    XShapeCombineRectangles(display, window, ShapeInput, 0, 0, nullptr, 0, ShapeSet, Unsorted);
  }
  XMapWindow(display, window);
  if (!windowManaged(display)) XLowerWindow(display, window);
  return window;
}

int watchCompositor(Display* display) {
  int eventBase = 0;
  int errorBase = 0;
  int major = 0;
  int minor = 0;
  if (!XFixesQueryExtension(display, &eventBase, &errorBase) ||
      !XFixesQueryVersion(display, &major, &minor)) {
    return -1;
  }
  XFixesSelectSelectionInput(display, DefaultRootWindow(display), compositorSelection(display),
                             XFixesSetSelectionOwnerNotifyMask |
                                 XFixesSelectionWindowDestroyNotifyMask |
                                 XFixesSelectionClientCloseNotifyMask);
  return eventBase + XFixesSelectionNotify;
}

}  // namespace walkers
