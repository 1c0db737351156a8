// Destroys an X window from another client, as a desktop or a screensaver daemon might.
#include <X11/Xlib.h>

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: destroy_window WINDOW-ID\n");
    return 2;
  }
  Display* display = XOpenDisplay(nullptr);
  if (!display) {
    std::fprintf(stderr, "destroy_window: cannot open the display\n");
    return 1;
  }
  XDestroyWindow(display, std::strtoul(argv[1], nullptr, 0));
  XSync(display, False);
  XCloseDisplay(display);
  return 0;
}
