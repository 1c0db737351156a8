// The image transport to an X window: the canvas's segments, MIT-SHM mirror images, plain strips.
#include "host/x11/x11_image.hpp"

#include <sys/ipc.h>
#include <sys/mman.h>
#include <sys/shm.h>

#include <algorithm>
#include <cstdint>

#include "host/unix/page_memory.hpp"
#include "host/x11/x11_errors.hpp"

namespace walkers {
namespace {

// Window coordinates in drawing requests are 16-bit signed: a request may start at most here,
// and reaches further through its (16-bit unsigned) width and height.
constexpr int kLastStart = 32767;

// A mirror grows in steps of this many pixels a side, so that a window dragged larger does not
// make a new one at every step.
constexpr int kMirrorStep = 256;

int roundUp(int value, int step) { return (value + step - 1) / step * step; }

// A zero-filled segment of `bytes`, attached here and by the server, into `segment`. False if
// the system or the server refuses, leaving nothing behind.
bool attachSegment(Display* display, std::size_t bytes, XShmSegmentInfo& segment) {
  segment = XShmSegmentInfo{};
  segment.shmid = shmget(IPC_PRIVATE, bytes, IPC_CREAT | 0600);
  if (segment.shmid < 0) return false;
  void* address = shmat(segment.shmid, nullptr, 0);
  // NOLINTNEXTLINE(cppcoreguidelines-pro-type-reinterpret-cast): shmat's failure value
  if (reinterpret_cast<std::intptr_t>(address) == -1) {
    shmctl(segment.shmid, IPC_RMID, nullptr);
    return false;
  }
  segment.shmaddr = static_cast<char*>(address);
  segment.readOnly = True;
  int error = 0;
  {
    TrappedXErrors trapped(display);
    XShmAttach(display, &segment);
    error = trapped.first();
  }
  // Once both sides hold it, the segment can be marked for removal: it goes when they let go,
  // however this process ends.
  shmctl(segment.shmid, IPC_RMID, nullptr);
  if (error != 0) {
    shmdt(segment.shmaddr);
    segment = XShmSegmentInfo{};
    return false;
  }
  return true;
}

// Requests already sent still read the segment: the server keeps it until it reaches the detach,
// which comes after them.
void detachSegment(Display* display, XShmSegmentInfo& segment) {
  XShmDetach(display, &segment);
  shmdt(segment.shmaddr);
  segment = XShmSegmentInfo{};
}

}  // namespace

bool X11SharedPixels::suits(Display* display, const X11Window& window) {
  return window.bitsPerPixel == 32 && ImageByteOrder(display) == kNativeByteOrder &&
         window.layout.isRedHighValue() && XShmQueryExtension(display);
}

X11SharedPixels::~X11SharedPixels() {
  for (const auto& segment : segments_) detachSegment(display_, *segment);
}

std::uint32_t* X11SharedPixels::allocate(std::size_t count) {
  auto segment = std::make_unique<XShmSegmentInfo>();
  if (count <= kMaxBytes / sizeof(std::uint32_t) &&
      attachSegment(display_, count * sizeof(std::uint32_t), *segment)) {
    segments_.push_back(std::move(segment));
    // NOLINTNEXTLINE(cppcoreguidelines-pro-type-reinterpret-cast): the segment holds the pixels
    return reinterpret_cast<std::uint32_t*>(segments_.back()->shmaddr);
  }
  return PageMemory::process().allocate(count);
}

void X11SharedPixels::release(std::uint32_t* pixels, std::size_t count) {
  const std::size_t before = segments_.size();
  std::erase_if(segments_, [&](const auto& segment) {
    if (segment->shmaddr != static_cast<void*>(pixels)) return false;
    detachSegment(display_, *segment);
    return true;
  });
  if (segments_.size() == before) PageMemory::process().release(pixels, count);
}

bool X11SharedPixels::zero(std::uint32_t* pixels, std::size_t count) {
  if (!segmentOf(pixels)) return PageMemory::process().zero(pixels, count);
  const std::size_t bytes = count * sizeof(std::uint32_t);
  // A segment is shared memory: MADV_REMOVE frees its pages themselves (MADV_DONTNEED would only
  // unmap them here), and both sides read zeros where they were.
  return bytes >= PageMemory::kReleaseBytes && ::madvise(pixels, bytes, MADV_REMOVE) == 0;
}

XShmSegmentInfo* X11SharedPixels::segmentOf(const std::uint32_t* pixels) const {
  for (const auto& segment : segments_) {
    if (segment->shmaddr == static_cast<const void*>(pixels)) return segment.get();
  }
  return nullptr;
}

X11Painter::X11Painter(Display* display, const X11Window& window, const X11SharedPixels* shared)
    : display_(display),
      window_(window),
      shared_(shared && X11SharedPixels::suits(display, window) ? shared : nullptr) {
  gc_ = XCreateGC(display_, window_.id, 0, nullptr);
  XSetForeground(display_, gc_, window_.layout.black());
  // The first mirror covers the window as it is, so that no frame waits for the server until
  // the window grows (making a mirror does). Making it tells whether the server takes shared
  // memory from this process: a remote or unwilling one refuses the attach.
  if (!XShmQueryExtension(display_)) return;
  const int wide = roundUp(std::clamp(window_.width, 1, kMaxStoredSide), kMirrorStep);
  const int tall = roundUp(std::clamp(window_.height, 1, kMaxStoredSide), kMirrorStep);
  shareable_ = (bytesPerLine(wide) * static_cast<std::size_t>(tall) <= kMaxMirrorBytes &&
                attach(wide, tall)) ||
               attach(kMirrorStep, kMirrorStep);
}

X11Painter::~X11Painter() {
  detach();
  if (gc_) XFreeGC(display_, gc_);
}

std::size_t X11Painter::bytesPerLine(int width) const {
  return (static_cast<std::size_t>(width) * static_cast<std::size_t>(window_.bitsPerPixel) + 31) /
         32 * 4;
}

XImage X11Painter::imageOver(char* data, int width, int height, XShmSegmentInfo* segment) const {
  XImage image{};
  image.width = width;
  image.height = height;
  image.format = ZPixmap;
  image.data = data;
  image.byte_order = ImageByteOrder(display_);
  image.bitmap_unit = BitmapUnit(display_);
  image.bitmap_bit_order = BitmapBitOrder(display_);
  image.bitmap_pad = 32;
  image.depth = window_.depth;
  image.bytes_per_line = static_cast<int>(bytesPerLine(width));
  image.bits_per_pixel = window_.bitsPerPixel;
  image.red_mask = window_.visual->red_mask;
  image.green_mask = window_.visual->green_mask;
  image.blue_mask = window_.visual->blue_mask;
  // NOLINTNEXTLINE(cppcoreguidelines-pro-type-reinterpret-cast): Xlib's untyped slot
  image.obdata = reinterpret_cast<XPointer>(segment);
  XInitImage(&image);
  return image;
}

// Makes a mirror of width x height, in place of the current one. False if the system or the
// server refuses, leaving no mirror.
bool X11Painter::attach(int width, int height) {
  detach();
  if (!attachSegment(display_, bytesPerLine(width) * static_cast<std::size_t>(height),
                     mirror_.segment)) {
    return false;
  }
  mirror_.image = imageOver(mirror_.segment.shmaddr, width, height, &mirror_.segment);
  return true;
}

void X11Painter::detach() {
  if (!mirror_.segment.shmaddr) return;
  detachSegment(display_, mirror_.segment);
  mirror_ = Mirror{};
}

// Whether the mirror covers a width x height part of the window, growing it if need be.
bool X11Painter::mirrorCovers(int width, int height) {
  if (mirror_.segment.shmaddr && width <= mirror_.image.width && height <= mirror_.image.height) {
    return true;
  }
  const int wide = std::max(roundUp(width, kMirrorStep), mirror_.image.width);
  const int tall = std::max(roundUp(height, kMirrorStep), mirror_.image.height);
  if (bytesPerLine(wide) * static_cast<std::size_t>(tall) > kMaxMirrorBytes) return false;
  if (!attach(wide, tall)) shareable_ = false;  // refused now, it would be refused every frame
  return shareable_;
}

// The segment a canvas keeps its pixels in, when the window shows them as they stand.
XShmSegmentInfo* X11Painter::sharedSegment(const Canvas& canvas) const {
  if (!shared_ || canvas.order() != PixelOrder::kRedHigh) return nullptr;
  return shared_->segmentOf(canvas.pixels().data());
}

// Pixels left..left+width-1 of row y as colour values.
const std::uint32_t* X11Painter::colours(const Canvas& canvas, int y, int left, int width) {
  const std::uint32_t* stored = canvas.row(y) + left;
  if (canvas.order() == PixelOrder::kRedLow) return stored;
  colourRow_.resize(static_cast<std::size_t>(width));
  std::transform(stored, stored + width, colourRow_.begin(), swapRedBlue);
  return colourRow_.data();
}

void X11Painter::putMirrored(const Canvas& canvas, const Rect& part) {
  const int width = part.right - part.left;
  for (int y = part.top; y < part.bottom; ++y) {
    window_.layout.convertRow(colours(canvas, y, part.left, width), width, mirror_.image, part.left,
                              y);
  }
  XShmPutImage(display_, window_.id, gc_, &mirror_.image, part.left, part.top, part.left, part.top,
               static_cast<unsigned>(width), static_cast<unsigned>(part.bottom - part.top), False);
}

// Converts and sends a part in strips of rows, each a plain image copied into the request.
void X11Painter::putPlain(const Canvas& canvas, const Rect& part) {
  const int width = part.right - part.left;
  const std::size_t line = bytesPerLine(width);
  const int rowsPerStrip = static_cast<int>(std::max<std::size_t>(1, kStripBytes / line));
  for (int top = part.top; top < part.bottom; top += rowsPerStrip) {
    const int rows = std::min(rowsPerStrip, part.bottom - top);
    const std::size_t bytes = line * static_cast<std::size_t>(rows);
    if (strip_.size() < bytes) strip_.resize(bytes);
    XImage image = imageOver(strip_.data(), width, rows, nullptr);
    for (int y = 0; y < rows; ++y) {
      window_.layout.convertRow(colours(canvas, top + y, part.left, width), width, image, 0, y);
    }
    XPutImage(display_, window_.id, gc_, &image, 0, 0, part.left, top, static_cast<unsigned>(width),
              static_cast<unsigned>(rows));
  }
}

// A part that starts beyond the reach of a request's coordinates starts at its limit instead:
// black parts lie beyond the stored pixels, so this only blackens more of what is black anyway.
void X11Painter::fillBlack(const Rect& part) {
  const int left = std::min(part.left, kLastStart);
  const int top = std::min(part.top, kLastStart);
  XFillRectangle(display_, window_.id, gc_, left, top, static_cast<unsigned>(part.right - left),
                 static_cast<unsigned>(part.bottom - top));
}

void X11Painter::present(const Canvas& canvas, const FramePlan& plan) {
  for (const Rect& part : plan.black) fillBlack(part);
  if (XShmSegmentInfo* segment = plan.copy.empty() ? nullptr : sharedSegment(canvas)) {
    // The canvas's own store, rows stride() apart, is the image: only the parts are sent.
    XImage image = imageOver(segment->shmaddr, canvas.stride(),
                             static_cast<int>(canvas.pixels().size()) / canvas.stride(), segment);
    for (const Rect& part : plan.copy) {
      XShmPutImage(display_, window_.id, gc_, &image, part.left, part.top, part.left, part.top,
                   static_cast<unsigned>(part.right - part.left),
                   static_cast<unsigned>(part.bottom - part.top), False);
    }
  } else if (!plan.copy.empty()) {
    const bool mirrored = shareable_ && mirrorCovers(canvas.storedWidth(), canvas.storedHeight());
    for (const Rect& part : plan.copy) {
      if (mirrored) {
        putMirrored(canvas, part);
      } else {
        putPlain(canvas, part);
      }
    }
  }
  XFlush(display_);
}

}  // namespace walkers
