// Canvas snapshots into an animated WebP (libwebp's encoder and muxer) and into raw RGB frames.
#include "tools/animation.hpp"

#include <webp/encode.h>
#include <webp/mux.h>

#include <algorithm>
#include <array>
#include <string>

namespace walkers::render {
namespace {

[[noreturn]] void fail(const std::string& what) { throw AnimationError(what); }

std::string sizeText(int width, int height) {
  return std::to_string(width) + "x" + std::to_string(height);
}

// A colour value as the opaque ARGB word libwebp's pictures hold.
constexpr std::uint32_t toArgb(std::uint32_t colour) {
  const Rgb rgb = toRgb(colour);
  return 0xff000000U | std::uint32_t{rgb.red} << 16 | std::uint32_t{rgb.green} << 8 | rgb.blue;
}

}  // namespace

WebpBytes& WebpBytes::operator=(WebpBytes&& other) noexcept {
  if (this != &other) {
    WebPDataClear(&data_);
    data_ = other.data_;
    WebPDataInit(&other.data_);
  }
  return *this;
}

// libwebp's state: the settings, the whole picture as the animation shows it after the last
// frame, the frames so far, and the last frame, kept aside until the next change ends it.
struct WebpAnimation::Encoder {
  WebPConfig config{};
  WebPPicture shown{};
  WebPMux* mux = nullptr;
  WebpBytes pending;
  int pendingLeft = 0;
  int pendingTop = 0;
  int pendingStartMs = 0;
  ~Encoder() {
    WebPPictureFree(&shown);
    if (mux != nullptr) WebPMuxDelete(mux);
  }
};

namespace {

// A frame shows for at most this many ms (24 bits); a longer one goes on in another frame.
constexpr int kMaxFrameDuration = (1 << 24) - 1;

void configure(WebPConfig& config, const AnimationSettings& settings) {
  if (!WebPConfigInit(&config)) fail("libwebp does not match the version built against");
  if (settings.quality) {
    config.lossless = 0;
    config.quality = static_cast<float>(*settings.quality);
    config.method = settings.lossyMethod;
  } else {
    // Lossless: every decoded frame is exactly the canvas.
    if (!WebPConfigLosslessPreset(&config, settings.losslessLevel)) fail("bad lossless level");
  }
  // One thread: libwebp's threaded paths are meant to give the same bytes, but a single thread
  // makes that certain, and the frames are small enough that it costs little.
  config.thread_level = 0;
  if (!WebPValidateConfig(&config)) fail("animation settings rejected by libwebp");
}

}  // namespace

WebpAnimation::WebpAnimation(int width, int height, const AnimationSettings& settings)
    : width_(width), height_(height), settings_(settings), encoder_(std::make_unique<Encoder>()) {
  if (width < 1 || height < 1 || width > kMaxWebpSide || height > kMaxWebpSide) {
    fail("an animation of " + sizeText(width, height) + " pixels: each side must be 1.." +
         std::to_string(kMaxWebpSide));
  }
  if (settings.frameMs < kMinFrameMs || settings.frameMs > kMaxFrameMs ||
      (settings.quality && (*settings.quality < 0 || *settings.quality > 100)) ||
      settings.losslessLevel < 0 || settings.losslessLevel > 9 || settings.lossyMethod < 0 ||
      settings.lossyMethod > 6) {
    fail("animation settings out of range");
  }
  configure(encoder_->config, settings);
  WebPPicture& shown = encoder_->shown;
  if (!WebPPictureInit(&shown)) fail("libwebp does not match the version built against");
  shown.use_argb = 1;
  shown.width = width;
  shown.height = height;
  const std::string memory = "not enough memory for a " + sizeText(width, height) + " animation";
  if (!WebPPictureAlloc(&shown)) fail(memory);
  encoder_->mux = WebPMuxNew();
  if (encoder_->mux == nullptr) fail(memory);
}

WebpAnimation::~WebpAnimation() = default;

// The smallest rectangle holding every pixel of `changed` that differs from what is shown (empty
// when none does).
Rect WebpAnimation::findChanges(const Canvas& canvas, std::span<const Rect> changed) const {
  const WebPPicture& shown = encoder_->shown;
  Rect box{width_, height_, 0, 0};
  for (const Rect& rect : changed) {
    const int right = std::min({rect.right, width_, canvas.storedWidth()});
    const int bottom = std::min({rect.bottom, height_, canvas.storedHeight()});
    for (int y = std::max(rect.top, 0); y < bottom; ++y) {
      const std::uint32_t* in = canvas.row(y);
      const std::uint32_t* out = shown.argb + static_cast<std::ptrdiff_t>(y) * shown.argb_stride;
      for (int x = std::max(rect.left, 0); x < right; ++x) {
        if (out[x] == toArgb(in[x])) continue;
        box = {std::min(box.left, x), std::min(box.top, y), std::max(box.right, x + 1),
               std::max(box.bottom, y + 1)};
      }
    }
  }
  return box;
}

void WebpAnimation::add(const Canvas& canvas, std::span<const Rect> changed) {
  if (!encoder_ || canvas.width() != width_ || canvas.height() != height_) {
    fail("a frame that does not fit the animation");
  }
  if (static_cast<std::uint64_t>(frames_ + 1) * static_cast<std::uint64_t>(settings_.frameMs) >
      kMaxAnimationMs) {
    fail("an animation longer than " + std::to_string(kMaxAnimationMs / 1000) + " s");
  }
  Rect part{0, 0, width_, height_};
  if (frames_ > 0) part = findChanges(canvas, changed);
  if (part.left < part.right) {
    part.left &= ~1;  // a frame starts at an even offset
    part.top &= ~1;
    flushPending(frames_ * settings_.frameMs);
    encode(canvas, part);
    encoder_->pendingStartMs = frames_ * settings_.frameMs;
  }
  ++frames_;
}

// Encodes `part` of the canvas as the pending frame and shows it. Pixels already shown are left
// transparent, so that the frame blends over the one before and compresses to almost nothing
// there; the first frame is the whole canvas, opaque, black beyond its stored part.
void WebpAnimation::encode(const Canvas& canvas, const Rect& part) {
  WebPPicture& shown = encoder_->shown;
  WebPPicture frame;
  if (!WebPPictureInit(&frame)) fail("libwebp does not match the version built against");
  frame.use_argb = 1;
  frame.width = part.right - part.left;
  frame.height = part.bottom - part.top;
  const std::string size = sizeText(frame.width, frame.height);
  const std::string memory = "not enough memory to encode frame " + std::to_string(frames_ + 1) +
                             " (" + size + " pixels) of a " + sizeText(width_, height_) +
                             " animation";
  if (!WebPPictureAlloc(&frame)) fail(memory);
  const bool first = frames_ == 0;
  for (int y = part.top; y < part.bottom; ++y) {
    const std::uint32_t* in = y < canvas.storedHeight() ? canvas.row(y) : nullptr;
    std::uint32_t* seen = shown.argb + static_cast<std::ptrdiff_t>(y) * shown.argb_stride;
    std::uint32_t* out =
        frame.argb + static_cast<std::ptrdiff_t>(y - part.top) * frame.argb_stride - part.left;
    for (int x = part.left; x < part.right; ++x) {
      const std::uint32_t argb = toArgb(in && x < canvas.storedWidth() ? in[x] : kBlack);
      out[x] = first || seen[x] != argb ? argb : 0;
      seen[x] = argb;
    }
  }
  WebPMemoryWriter writer;
  WebPMemoryWriterInit(&writer);
  frame.writer = WebPMemoryWrite;
  frame.custom_ptr = &writer;
  const bool encoded = WebPEncode(&encoder_->config, &frame) != 0;
  const WebPEncodingError error = frame.error_code;
  WebPPictureFree(&frame);
  WebpBytes bytes;
  bytes.data()->bytes = writer.mem;
  bytes.data()->size = writer.size;
  if (!encoded) {
    fail(error == VP8_ENC_ERROR_OUT_OF_MEMORY
             ? memory
             : "cannot encode frame " + std::to_string(frames_ + 1) + ": libwebp error " +
                   std::to_string(error));
  }
  encoder_->pending = std::move(bytes);
  encoder_->pendingLeft = part.left;
  encoder_->pendingTop = part.top;
}

// Puts the pending frame into the file, showing until `endMs`; past the longest a frame may show,
// it is stored again for the rest, which changes nothing on screen. The only frame of a file is
// stored twice, each for half the time: a file of one frame would be a still picture.
void WebpAnimation::flushPending(int endMs, bool last) {
  Encoder& encoder = *encoder_;
  if (encoder.pending.bytes().empty()) return;
  int frames = 0;
  WebPMuxNumChunks(encoder.mux, WEBP_CHUNK_ANMF, &frames);
  const int half = encoder.pendingStartMs + (endMs - encoder.pendingStartMs) / 2;
  for (int start = encoder.pendingStartMs; start < endMs;) {
    WebPMuxFrameInfo frame{};
    frame.bitstream = *encoder.pending.data();
    frame.x_offset = encoder.pendingLeft;
    frame.y_offset = encoder.pendingTop;
    frame.duration = std::min(endMs - start, kMaxFrameDuration);
    if (last && frames == 0 && start < half)
      frame.duration = std::min(frame.duration, half - start);
    frame.id = WEBP_CHUNK_ANMF;
    frame.dispose_method = WEBP_MUX_DISPOSE_NONE;
    frame.blend_method = WEBP_MUX_BLEND;
    if (WebPMuxPushFrame(encoder.mux, &frame, 1) != WEBP_MUX_OK) {
      fail("not enough memory for a " + sizeText(width_, height_) + " animation");
    }
    start += frame.duration;
  }
  encoder.pending = WebpBytes();
}

WebpBytes WebpAnimation::finish() {
  if (!encoder_ || frames_ == 0) fail("an animation without frames");
  flushPending(frames_ * settings_.frameMs, true);
  WebPMuxAnimParams params{};
  params.bgcolor = 0xff000000U;
  params.loop_count = 0;  // loop forever
  WebpBytes file;
  const bool assembled = WebPMuxSetAnimationParams(encoder_->mux, &params) == WEBP_MUX_OK &&
                         WebPMuxSetCanvasSize(encoder_->mux, width_, height_) == WEBP_MUX_OK &&
                         WebPMuxAssemble(encoder_->mux, file.data()) == WEBP_MUX_OK;
  encoder_.reset();
  // The header keeps the transparency flag the muxer sets when a frame blends over the one
  // before: the format requires it of any file whose frames hold transparency, and libwebp's
  // muxer and checker refuse a file without it, though every picture shown is opaque.
  if (!assembled)
    fail("not enough memory to assemble a " + sizeText(width_, height_) + " animation");
  return file;
}

void RgbFrames::add(const Canvas& canvas) {
  constexpr std::size_t kPiecePixels = (std::size_t{1} << 20) / sizeof(Rgb);
  const auto width = static_cast<std::size_t>(canvas.width());
  if (width == 0 || canvas.height() == 0) return;
  const std::size_t rowsPerPiece = std::max<std::size_t>(1, kPiecePixels / width);
  buffer_.resize(rowsPerPiece * width);
  std::size_t filled = 0;
  for (int y = 0; y < canvas.height(); ++y) {
    canvas.copyRow(y, buffer_.data() + filled, toRgb);
    filled += width;
    if (filled == buffer_.size() || y + 1 == canvas.height()) {
      // NOLINTNEXTLINE(cppcoreguidelines-pro-type-reinterpret-cast): the pixels' bytes
      sink_({reinterpret_cast<const std::uint8_t*>(buffer_.data()), filled * sizeof(Rgb)});
      filled = 0;
    }
  }
}

}  // namespace walkers::render
