// The one place the SDL window touches Xlib: its connection, and one line when it is lost.
#pragma once

struct SDL_Window;

namespace walkers {

// When `window` is shown through X11: from now on, a broken X connection or an X error (such as
// another program destroying the window) prints one line, "walkers: lost the display: ...", and
// ends the program with status 1, instead of Xlib's own messages. Returns the connection's
// descriptor to sleep on, or -1 on another window system.
int watchX11Connection(SDL_Window* window);

}  // namespace walkers
