// Whether anyone can see an X window walkers draws on: windows stacked over it, its map state,
// and the display's power.
#pragma once

#include <X11/Xlib.h>

#include <chrono>
#include <vector>

#include "host/core/resting.hpp"

namespace walkers {

// Follows, from the events the drawn window's connection already receives, whether its picture
// can be seen. Two ways, by what walkers draws on:
// - the desktop's background (the root window, a virtual root or walkers' own desktop window):
//   the root's children as they are created, stacked, moved, mapped and destroyed (the root's
//   SubstructureNotify), and whether opaque windows above the drawn one leave none of it bare;
// - a window handed over (--window-id, a screensaver's window): whether it is mapped and, as the
//   server says (VisibilityNotify, which a compositing manager makes always "unobscured"),
//   fully obscured.
// Either way, the display's power (DPMS) is asked at most once a second while the window is not
// covered: the extension tells no change by itself. Nothing here polls otherwise.
class X11Sight {
 public:
  // The events the drawn window needs selected for this (besides StructureNotify).
  static constexpr long kWindowEvents = VisibilityChangeMask;

  explicit X11Sight(Display* display);

  // Starts following `drawn`: as the desktop's background when `wallpaper` (the caller selects
  // SubstructureNotify on the root), else as a handed-over window.
  void follow(Window drawn, bool wallpaper);
  // Takes note of an event the connection received.
  void handle(const XEvent& event);
  // What can be seen now; may ask the server for the display's power.
  Sight now(std::chrono::steady_clock::time_point now);

  struct Top {
    Window id = 0;
    int x = 0, y = 0, width = 0, height = 0;  // border included, in root coordinates
    bool mapped = false;
    bool known = false;   // whether `opaque` was read from the server yet
    bool opaque = false;  // an InputOutput window without an alpha channel
  };

 private:
  std::vector<Window> rootChildren();
  void readStack();
  void read(Top& top);
  Top* find(Window id);
  void place(Window id, Window above);
  bool covered();
  bool displayOff(std::chrono::steady_clock::time_point now);

  Display* display_;
  Window root_;
  Atom opacity_;
  Window drawn_ = 0;
  bool wallpaper_ = false;
  // The desktop's background: the root's children, bottom first, and which of them holds the
  // drawn window (the root itself when that is what is drawn on).
  std::vector<Top> stack_;
  Window ours_ = 0;
  struct {
    int x = 0, y = 0, width = 0, height = 0;
  } area_;               // the drawn window's, in root coordinates
  bool changed_ = true;  // the stack changed since covered() last looked
  bool coveredNow_ = false;
  // A handed-over window.
  bool viewable_ = true;
  bool obscured_ = false;
  // The display's power.
  bool dpms_ = false;
  bool off_ = false;
  std::chrono::steady_clock::time_point powerAskedAt_{};
};

}  // namespace walkers
