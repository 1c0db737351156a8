// Carrying out frame plans on an X window: a shared-memory mirror of the window, or plain images.
#pragma once

#include <X11/Xlib.h>
#include <X11/extensions/XShm.h>

#include <cstddef>
#include <vector>

#include "host/frame_plan.hpp"
#include "host/x11_window.hpp"

namespace walkers {

// Draws frames on one window, never waiting for the server. Where the server can share memory
// with this process, pixels go through a mirror of the window: a shared image in the window's
// own pixel format, where each pixel always sits at its place on the window. A frame converts
// only the planned rectangles into it and has the server copy those same rectangles out, so
// nothing is packed, and a rectangle the server has not read yet is only ever overwritten with
// the same pixels' newer colours, which it would show next anyway. Elsewhere, and for a stored
// part larger than kMaxMirrorBytes, frames go as plain images of at most kStripBytes each.
class X11Painter {
 public:
  // Enough for a 7680x4320 screen.
  static constexpr std::size_t kMaxMirrorBytes = std::size_t{160} << 20;
  static constexpr std::size_t kStripBytes = std::size_t{1} << 20;

  // Draws on `window` of `display`, both kept open by the caller for the painter's lifetime.
  X11Painter(Display* display, const X11Window& window);
  ~X11Painter();
  X11Painter(const X11Painter&) = delete;
  X11Painter& operator=(const X11Painter&) = delete;

  // Whether the server accepted shared memory from this process.
  bool sharedMemory() const { return shareable_; }

  // Fills the plan's black rectangles, draws its copy rectangles from the canvas, and flushes.
  void present(const Canvas& canvas, const FramePlan& plan);

 private:
  struct Mirror {
    XShmSegmentInfo segment{};
    XImage image{};
  };
  XImage imageOver(char* data, int width, int height, XShmSegmentInfo* segment) const;
  std::size_t bytesPerLine(int width) const;
  bool attach(int width, int height);
  void detach();
  bool mirrorCovers(int width, int height);
  void putMirrored(const Canvas& canvas, const Rect& part);
  void putPlain(const Canvas& canvas, const Rect& part);
  void fillBlack(const Rect& part);

  Display* display_;
  X11Window window_;
  GC gc_ = nullptr;
  bool shareable_ = false;
  Mirror mirror_;
  std::vector<char> strip_;
};

}  // namespace walkers
