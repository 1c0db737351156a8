// The SDL window's one Wayland call: telling a lost compositor from a closed window.
#pragma once

struct SDL_Window;

namespace walkers {

// SDL reports a failed Wayland connection as a request to quit. When `window` is shown through
// Wayland and its connection has failed, this prints one line, "walkers: lost the display: ...",
// and ends the program with status 1; otherwise it returns.
void checkWaylandConnection(SDL_Window* window);

}  // namespace walkers
