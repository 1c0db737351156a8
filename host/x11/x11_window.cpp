// Choosing the foreign window from the command line or the environment, and checking its visual.
#include "host/x11/x11_window.hpp"

#include <X11/Xatom.h>

#include <cstdio>
#include <cstdlib>

#include "common/option_text.hpp"
#include "host/unix/window_id.hpp"
#include "host/x11/x11_errors.hpp"

namespace walkers {
namespace {

const char* visualClassName(int visualClass) {
  switch (visualClass) {
    case StaticGray:
      return "StaticGray";
    case GrayScale:
      return "GrayScale";
    case StaticColor:
      return "StaticColor";
    case PseudoColor:
      return "PseudoColor";
    case TrueColor:
      return "TrueColor";
    case DirectColor:
      return "DirectColor";
    default:
      return "unknown";
  }
}

// Whether `window` carries the __SWM_VROOT marker.
bool marksVirtualRoot(Display* display, Window window, Atom marker) {
  Atom type = None;
  int format = 0;
  unsigned long items = 0;
  unsigned long after = 0;
  unsigned char* value = nullptr;
  const bool marked = XGetWindowProperty(display, window, marker, 0, 1, False, XA_WINDOW, &type,
                                         &format, &items, &after, &value) == Success &&
                      type == XA_WINDOW && format == 32 && items == 1;
  if (value) XFree(value);
  return marked;
}

// A window manager that pans a desktop larger than the screen draws it on a child of the root
// window marked __SWM_VROOT; what is drawn on the root itself would stay hidden behind it.
Window virtualRoot(Display* display) {
  const Window root = DefaultRootWindow(display);
  const Atom marker = XInternAtom(display, "__SWM_VROOT", True);  // no atom: nobody marks one
  if (marker == None) return root;
  const TrappedXErrors trapped(display);  // a child may vanish meanwhile: it is just skipped
  Window rootReturn = 0;
  Window parent = 0;
  Window* children = nullptr;
  unsigned int count = 0;
  Window found = root;
  if (XQueryTree(display, root, &rootReturn, &parent, &children, &count)) {
    for (unsigned int i = 0; i < count && found == root; ++i) {
      if (marksVirtualRoot(display, children[i], marker)) found = children[i];
    }
  }
  if (children) XFree(children);
  return found;
}

int bitsPerPixelOf(Display* display, int depth) {
  int formats = 0;
  int bits = 0;
  XPixmapFormatValues* list = XListPixmapFormats(display, &formats);
  for (int i = 0; i < formats; ++i) {
    if (list[i].depth == depth) bits = list[i].bits_per_pixel;
  }
  if (list) XFree(list);
  return bits;
}

}  // namespace

std::string hexWindowId(unsigned long id) {
  char text[24];
  std::snprintf(text, sizeof text, "0x%lx", id);
  return text;
}

const char* handedWindow() {
  const char* named = std::getenv("XSCREENSAVER_WINDOW");
  return named && *named ? named : nullptr;
}

X11Window chooseWindow(Display* display, const X11Choice& choice, long eventMask) {
  if (!choice.root) {
    return checkWindow(display, choice.windowId,
                       "there is no window " + hexWindowId(choice.windowId), eventMask);
  }
  if (const char* named = handedWindow()) {
    const auto id = parseWindowId(named);
    if (!id)
      throw X11Error("XSCREENSAVER_WINDOW is not a window id: \"" +
                     escapeForMessage(named, kEchoLimit) + "\"");
    return checkWindow(display, *id, "XSCREENSAVER_WINDOW names no window: " + hexWindowId(*id),
                       eventMask);
  }
  const Window root = virtualRoot(display);
  return checkWindow(display, root, "there is no window " + hexWindowId(root), eventMask);
}

X11Window checkWindow(Display* display, Window window, const std::string& missing, long eventMask,
                      const X11Checks& checks) {
  if (window == 0) throw X11Error(missing);
  XWindowAttributes attributes{};
  Status known = 0;
  {
    // Selecting before reading the size: no resize can fall between the two unseen.
    TrappedXErrors trapped(display);
    if (eventMask != 0) XSelectInput(display, window, eventMask);
    known = XGetWindowAttributes(display, window, &attributes);
    if (trapped.first() != 0) known = 0;
  }
  if (known == 0) throw X11Error(missing);
  const std::string name = checks.name.empty() ? "window " + hexWindowId(window) : checks.name;
  if (attributes.c_class == InputOnly) {
    throw X11Error(name + " is input-only: it has no pixels to draw on");
  }
  const int bits = bitsPerPixelOf(display, attributes.depth);
  const int kind = attributes.visual->c_class;
  if (kind != TrueColor || attributes.depth < 15 || attributes.depth > 32 ||
      (bits != 16 && bits != 24 && bits != 32)) {
    const int depth = attributes.depth;
    const bool vowel = depth == 8 || depth == 11 || depth == 18;  // "an 8-bit", "a 16-bit"
    throw X11Error(name + (vowel ? " has an " : " has a ") + std::to_string(depth) + "-bit " +
                   visualClassName(kind) +
                   " visual; walkers draws only on TrueColor of 15 to 32 bits");
  }
  X11Window checked;
  checked.id = window;
  checked.width = attributes.width;
  checked.height = attributes.height;
  checked.depth = attributes.depth;
  checked.bitsPerPixel = bits;
  checked.visual = attributes.visual;
  checked.layout = PixelLayout(attributes.visual->red_mask, attributes.visual->green_mask,
                               attributes.visual->blue_mask, attributes.depth);
  return checked;
}

}  // namespace walkers
