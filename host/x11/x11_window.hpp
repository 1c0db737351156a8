// Finding the X window to draw on (a screensaver's, a virtual root, the root, one by id) and
// checking that walkers can draw on it.
#pragma once

#include <X11/Xlib.h>

#include <string>

#include "host/x11/x11_pixels.hpp"
#include "host/x11/x11_target.hpp"

namespace walkers {

// A window that walkers can draw on, as checked.
struct X11Window {
  Window id = 0;
  int width = 0;
  int height = 0;
  int depth = 0;
  int bitsPerPixel = 0;  // of the window's pixels in an image
  Visual* visual = nullptr;
  PixelLayout layout;
};

// The window `choice` names, checked with checkWindow(); throws X11Error.
X11Window chooseWindow(Display* display, const X11Choice& choice, long eventMask);

// The window a screensaver daemon or locker handed over in $XSCREENSAVER_WINDOW, as written, or
// null when the variable is unset or empty: --root draws there, not on the desktop.
const char* handedWindow();

// How a window is named in messages.
struct X11Checks {
  std::string name;  // "window 0x1a00007" when empty
};

// Selects `eventMask` on the window, then reads and checks it: it must exist, have pixels, and
// show a TrueColor visual of 15 to 32 bits. Throws X11Error, saying `missing` when there is no
// such window.
X11Window checkWindow(Display* display, Window window, const std::string& missing, long eventMask,
                      const X11Checks& checks = {});

// "0x1a00007".
std::string hexWindowId(unsigned long id);

}  // namespace walkers
