// Carrying out frame plans on an X window: from the canvas's shared segments, a mirror, or images.
#pragma once

#include <X11/Xlib.h>
#include <X11/extensions/XShm.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "host/core/frame_plan.hpp"
#include "host/x11/x11_window.hpp"

namespace walkers {

// Canvas pixels kept in segments shared with the X server, for windows whose pixels are kRedHigh
// values as they stand (see suits): the server reads them where the walkers paint them, so a frame
// converts and copies nothing. One per connection, drawing on any window of it. A store the
// server cannot share (too large, or refused) is kept in private pages of this process instead,
// in the same order; clearing either kind hands its pages back to the system.
class X11SharedPixels : public PixelMemory {
 public:
  // Stores larger than this are not shared (enough for a 7680x4320 screen).
  static constexpr std::size_t kMaxBytes = std::size_t{160} << 20;

  // Whether `window`'s pixels are kRedHigh values in 32 bits of this machine's byte order and the
  // server has the shared-memory extension.
  static bool suits(Display* display, const X11Window& window);

  explicit X11SharedPixels(Display* display) : display_(display) {}
  ~X11SharedPixels() override;
  X11SharedPixels(const X11SharedPixels&) = delete;
  X11SharedPixels& operator=(const X11SharedPixels&) = delete;

  // A new segment, attached on both sides, or private pages when the system or the server
  // refuses one; nullptr when neither can be had.
  std::uint32_t* allocate(std::size_t count) override;
  // Requests already sent still read the segment: the server keeps it until it reaches the
  // detach, which comes after them.
  void release(std::uint32_t* pixels, std::size_t count) override;
  PixelOrder order() const override { return PixelOrder::kRedHigh; }
  // A large block's pages go back to the system, from the segment itself when it is one (both
  // sides then read zeros); a small one is written.
  bool zero(std::uint32_t* pixels, std::size_t count) override;

  // The segment that `pixels` (as allocate gave them) lie in, or null.
  XShmSegmentInfo* segmentOf(const std::uint32_t* pixels) const;

 private:
  Display* display_;
  std::vector<std::unique_ptr<XShmSegmentInfo>> segments_;
};

// Draws frames on one window, never waiting for the server. Where the server can share memory
// with this process, pixels go through a mirror of the window: a shared image in the window's
// own pixel format, where each pixel always sits at its place on the window. A frame converts
// only the planned rectangles into it and has the server copy those same rectangles out, so
// nothing is packed, and a rectangle the server has not read yet is only ever overwritten with
// the same pixels' newer colours, which it would show next anyway. Elsewhere, and for a stored
// part larger than kMaxMirrorBytes, frames go as plain images of at most kStripBytes each. A
// canvas kept in `shared`'s segments is sent from there as it stands when the window suits it.
class X11Painter {
 public:
  // Enough for a 7680x4320 screen.
  static constexpr std::size_t kMaxMirrorBytes = std::size_t{160} << 20;
  static constexpr std::size_t kStripBytes = std::size_t{1} << 20;

  // Draws on `window` of `display`, both kept open by the caller for the painter's lifetime, as
  // is `shared` (which may be null).
  X11Painter(Display* display, const X11Window& window, const X11SharedPixels* shared = nullptr);
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
  XShmSegmentInfo* sharedSegment(const Canvas& canvas) const;
  const std::uint32_t* colours(const Canvas& canvas, int y, int left, int width);
  void putMirrored(const Canvas& canvas, const Rect& part);
  void putPlain(const Canvas& canvas, const Rect& part);
  void fillBlack(const Rect& part);

  Display* display_;
  X11Window window_;
  const X11SharedPixels* shared_;  // null unless the window suits it
  GC gc_ = nullptr;
  bool shareable_ = false;
  Mirror mirror_;
  std::vector<char> strip_;
  std::vector<std::uint32_t> colourRow_;  // a row of a kRedHigh canvas as colour values
};

}  // namespace walkers
