// When the desktop's background cannot show what is drawn on the root window (a compositing
// manager, a desktop window over it), and the window walkers draws there instead.
#pragma once

#include <X11/Xlib.h>

namespace walkers {

// Whether a compositing manager owns the _NET_WM_CM_S<screen> selection: it paints the screen
// from its own copies of the windows and the background from the root's pixmap, so what is drawn
// on the root window never shows.
bool compositing(Display* display);

// Whether a mapped window typed _NET_WM_WINDOW_TYPE_DESKTOP (a desktop with icons) covers the
// whole root window, among the root's children and the window manager's clients; `own` is left
// out. Each desktop window found is watched (StructureNotify) for being mapped, unmapped or
// destroyed: the root hears only of its window manager's frame.
bool desktopWindowCovers(Display* display, Window own);

// A window of the root's size, visual and depth for the pattern: typed as the desktop, below
// every other window, on every workspace, out of taskbars and pagers, taking no input (clicks go
// through to whatever is below). Mapped, and lowered to the bottom when no window manager stacks
// it; `eventMask` is selected on it before it is mapped.
Window makeDesktopWindow(Display* display, long eventMask);

// Whether a window manager that follows the desktop conventions runs (_NET_SUPPORTING_WM_CHECK).
bool windowManaged(Display* display);

// Asks for an event whenever the compositing manager's selection changes owner; returns the event
// type it comes as, or -1 when the server lacks XFixes.
int watchCompositor(Display* display);

}  // namespace walkers
