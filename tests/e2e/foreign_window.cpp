// Makes and shows a plain black (or, with "white", white) X window of the given size for walkers
// to draw on, as a wallpaper tool or a screensaver daemon would, or to lie under walkers' window;
// prints its id and stays until killed or the window is destroyed.
#include <X11/Xlib.h>

#include <cstdio>

int main(int argc, char** argv) {
  unsigned width = 0;
  unsigned height = 0;
  if (argc < 2 || argc > 3 || std::sscanf(argv[1], "%ux%u", &width, &height) != 2) {
    std::fprintf(stderr, "usage: foreign_window WxH [white]\n");
    return 2;
  }
  Display* display = XOpenDisplay(nullptr);
  if (!display) {
    std::fprintf(stderr, "foreign_window: cannot open the display\n");
    return 1;
  }
  const unsigned long background = argc == 3 ? WhitePixel(display, 0) : BlackPixel(display, 0);
  const Window window = XCreateSimpleWindow(display, DefaultRootWindow(display), 0, 0, width,
                                            height, 0, background, background);
  XSelectInput(display, window, StructureNotifyMask);
  XMapWindow(display, window);
  for (;;) {
    XEvent event;
    XNextEvent(display, &event);
    if (event.type == MapNotify) {
      std::printf("0x%lx\n", window);
      std::fflush(stdout);
    } else if (event.type == DestroyNotify) {
      return 0;
    }
  }
}
