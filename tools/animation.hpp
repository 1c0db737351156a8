// Time-lapse frames of a growing pattern: an animated WebP, and raw 8-bit RGB frames for a pipe.
#pragma once

#include <webp/mux_types.h>

#include <climits>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <stdexcept>
#include <vector>

#include "engine/canvas.hpp"
#include "tools/render_options.hpp"

namespace walkers::render {

// The WebP format's limits: a side of at most 16383 pixels, and frame times in milliseconds that
// fit an int (24 days). Frames last kMinFrameMs..kMaxFrameMs (see render_options.hpp).
inline constexpr int kMaxWebpSide = 16383;
inline constexpr std::uint64_t kMaxAnimationMs = INT_MAX;

// Which ticks a time-lapse shows: one frame after every `every` ticks, and the final picture last
// even when `ticks` is not a multiple of `every`. A run of 0 ticks has one frame, the blank canvas.
class FrameClock {
 public:
  FrameClock(std::uint64_t ticks, std::uint64_t every) : ticks_(ticks), every_(every) {}

  std::uint64_t count() const { return ticks_ == 0 ? 1 : (ticks_ - 1) / every_ + 1; }
  // The tick count after which frame `frame` (from 0) is taken.
  std::uint64_t tickOf(std::uint64_t frame) const {
    return frame + 1 >= count() ? ticks_ : (frame + 1) * every_;
  }

 private:
  std::uint64_t ticks_;
  std::uint64_t every_;
};

// The encoder could not be set up or could not encode (in practice: out of memory).
class AnimationError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct AnimationSettings {
  int frameMs = 40;            // how long each frame is shown
  std::optional<int> quality;  // 0..100 for a lossy file; none for a lossless one
  // How hard libwebp works on a lossless frame, 0 (fast, large) to 9 (slow, small).
  int losslessLevel = kDefaultLosslessLevel;
  // How hard it works on a lossy frame, 0 (fast) to 6 (slow, small).
  int lossyMethod = kDefaultLossyMethod;
  // Chosen with bench/animation_bench: level 1 is as fast as 0 at 40 % of its size and within
  // 4 % of the smallest; method 4 is 4 % smaller than 2 and 12 times faster than 6.
  static constexpr int kDefaultLosslessLevel = 1;
  static constexpr int kDefaultLossyMethod = 4;
};

// The encoded file, owned: libwebp allocates it, and it is freed with the object.
class WebpBytes {
 public:
  WebpBytes() { WebPDataInit(&data_); }
  ~WebpBytes() { WebPDataClear(&data_); }
  WebpBytes(WebpBytes&& other) noexcept : data_(other.data_) { WebPDataInit(&other.data_); }
  WebpBytes& operator=(WebpBytes&& other) noexcept;
  WebpBytes(const WebpBytes&) = delete;
  WebpBytes& operator=(const WebpBytes&) = delete;

  std::span<const std::uint8_t> bytes() const { return {data_.bytes, data_.size}; }
  WebPData* data() { return &data_; }

 private:
  WebPData data_;
};

// An animated WebP that loops forever, built one canvas snapshot at a time: frame k starts at
// k * frameMs. Each frame is stored as the smallest rectangle that holds every pixel changed since
// the frame before (the first as the whole canvas), encoded on its own and kept; a frame with no
// change makes the one before it show longer. So the work per frame and the memory follow what
// changed, not the canvas size or the number of frames. A frame is transparent where it leaves the
// picture before it showing, so every picture shown is opaque (the file is flagged as having
// transparency, as the format requires of such frames); it is an animation even with one frame. The
// same frames and settings give the same bytes.
class WebpAnimation {
 public:
  // Throws AnimationError if the size is outside 1..kMaxWebpSide, the settings are out of range,
  // or the encoder cannot be allocated.
  WebpAnimation(int width, int height, const AnimationSettings& settings);
  ~WebpAnimation();
  WebpAnimation(const WebpAnimation&) = delete;
  WebpAnimation& operator=(const WebpAnimation&) = delete;

  // Adds the canvas as the next frame; its size must be the animation's. `changed` covers every
  // pixel changed since the frame before (as Canvas::takeChanged gives them); the first frame
  // takes the whole canvas whatever it says.
  void add(const Canvas& canvas, std::span<const Rect> changed);

  // Ends the animation (the last frame is shown for frameMs too) and gives the file. The encoder
  // is released before this returns; no frame can be added after.
  WebpBytes finish();

 private:
  struct Encoder;
  int width_;
  int height_;
  AnimationSettings settings_;
  int frames_ = 0;
  std::unique_ptr<Encoder> encoder_;
  Rect findChanges(const Canvas& canvas, std::span<const Rect> changed) const;
  void encode(const Canvas& canvas, const Rect& part);
  void flushPending(int endMs, bool last = false);
};

// The memory a run that writes a width x height animation may take at its peak: encoding a whole
// frame, the animation's own copy of the picture and the canvas. Measured peaks of whole runs
// (dense patterns, lossless and lossy, 1000x1000 to 8000x8000) stay under 24 bytes a pixel and a
// few MiB; this allows a third more, and 4 MiB. (Dense runs at 510x370, 1000x1000 and 2000x2000
// finish under the tightest address-space limit this lets through.)
constexpr std::uint64_t animationMemoryNeed(int width, int height) {
  constexpr std::uint64_t kBytesPerPixel = 32;
  constexpr std::uint64_t kFixed = std::uint64_t{4} << 20;
  return kBytesPerPixel * static_cast<std::uint64_t>(width) * static_cast<std::uint64_t>(height) +
         kFixed;
}

// Raw 8-bit RGB frames, back to back with no header: each canvas becomes width * height * 3
// bytes, rows from the top, handed to the sink in pieces of at most about a megabyte (pixels
// beyond the canvas's stored part are black).
class RgbFrames {
 public:
  using Sink = std::function<void(std::span<const std::uint8_t>)>;
  explicit RgbFrames(Sink sink) : sink_(std::move(sink)) {}

  void add(const Canvas& canvas);

 private:
  Sink sink_;
  std::vector<Rgb> buffer_;
};

}  // namespace walkers::render
