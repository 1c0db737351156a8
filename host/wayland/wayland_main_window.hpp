// The main window `w` on Wayland: an xdg-shell toplevel showing the form's canvas.
#pragma once

#include <cstdint>
#include <vector>

#include "engine/form.hpp"
#include "host/core/loop.hpp"
#include "host/wayland/wayland_display.hpp"
#include "host/wayland/wayland_painted_surface.hpp"

struct xdg_surface;
struct xdg_toplevel;
struct wl_array;
struct wl_output;

namespace walkers {

class StopRequest;
struct WaylandKey;

// The form's window on a Wayland compositor, drawn by walkers itself (no SDL): a toplevel
// captioned "Form1" with a client area of 510x370 logical pixels. Its canvas is the window's size
// in screen pixels, one canvas pixel per screen pixel (1020x740 at scale 2, 765x555 at 1.5): the
// logical size times the scale of the output it is on (of several, the sharpest), as the layer
// surfaces are drawn (PaintedSurface::showAt). It opens black until the compositor has put it on
// an output, so that the first pattern is seeded at that size.
// Keys act by the character they type, read through the compositor's keymap with libxkbcommon
// (Return, keypad Enter and Ctrl+M type 13; Escape and Ctrl+[ 27); F11 toggles fullscreen. The
// compositor's configure events size it; its close request ends the loop (status 0); a lost
// compositor prints one line, "walkers: lost the display: ...", and ends the program with
// status 1. Frames go as for the wallpaper (PaintedSurface), drawn on frame callbacks.
// The window's own connection, a base class so that it is made before the surface and closed
// after it.
struct WaylandMainWindowConnection {
  WaylandDisplay connection{true, WaylandDisplay::Shell::kToplevel};
};

class WaylandMainWindow : private WaylandMainWindowConnection, public PaintedSurface {
 public:
  static constexpr int kClientWidth = kFormWidth;
  static constexpr int kClientHeight = kFormHeight;
  static constexpr const char* kCaption = "Form1";
  // Larger windows are not drawn (a frame would take gigabytes); the loop goes on.
  static constexpr std::int64_t kMaxSurfacePixels = std::int64_t{1} << 25;

  // Connects to $WAYLAND_DISPLAY, opens the window and waits for its first size. Throws
  // WaylandUnreachable when no compositor answers, WaylandError when it has no xdg-shell.
  // `stop` may be null.
  explicit WaylandMainWindow(bool fullscreen = false, StopRequest* stop = nullptr);
  ~WaylandMainWindow() override;
  WaylandMainWindow(const WaylandMainWindow&) = delete;
  WaylandMainWindow& operator=(const WaylandMainWindow&) = delete;

  void waitUntil(LoopClock::time_point deadline) override;
  LoopClock::duration framePeriod() const override;

  // Handlers called from the C listeners.
  void onToplevelConfigure(std::int32_t width, std::int32_t height, const wl_array* states);
  void onConfigure(std::uint32_t serial);
  void onClose();
  void onEnter(wl_output* output);
  void onLeave(wl_output* output);

 private:
  void onKey(const WaylandKey& key);
  void scaleChanged() override { showAnew(); }
  // Shown again at its logical size on the sharpest output it is on (the last one it was on when
  // it is on none); whether anything changed (see showAt).
  bool showAnew();
  bool isOn(const WaylandOutput& output) const;

  xdg_surface* xdgSurface_ = nullptr;
  xdg_toplevel* toplevel_ = nullptr;
  bool fullscreen_ = false;
  bool sized_ = false;  // the first configure came
  // What the next configure event applies, and the size the window has when not fullscreen.
  int pendingWidth_ = 0;
  int pendingHeight_ = 0;
  bool pendingFullscreen_ = false;
  int windowedWidth_ = kClientWidth;
  int windowedHeight_ = kClientHeight;
  int logicalWidth_ = kClientWidth;  // its size now, in logical pixels
  int logicalHeight_ = kClientHeight;
  std::vector<wl_output*> entered_;  // the outputs it is on
  OutputPixels on_;                  // the output it was last shown for
};

}  // namespace walkers
