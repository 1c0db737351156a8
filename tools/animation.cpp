// Canvas snapshots into an animated WebP through WebPAnimEncoder, and into raw 8-bit RGB frames.
#include "tools/animation.hpp"

#include <webp/encode.h>
#include <webp/mux.h>

#include <algorithm>
#include <string>

namespace walkers::render {
namespace {

[[noreturn]] void fail(const std::string& what) { throw AnimationError(what); }

std::string sizeText(int width, int height) {
  return std::to_string(width) + "x" + std::to_string(height);
}

// A colour value as the opaque ARGB word libwebp's pictures hold.
constexpr std::uint32_t toArgb(std::uint32_t colour) {
  return 0xff000000U | (colour & 0xffU) << 16 | (colour & 0xff00U) | (colour >> 16 & 0xffU);
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

struct WebpAnimation::Picture {
  WebPPicture picture{};
  WebPConfig config{};
  ~Picture() { WebPPictureFree(&picture); }
};

WebpAnimation::WebpAnimation(int width, int height, const AnimationSettings& settings)
    : width_(width), height_(height), settings_(settings), picture_(std::make_unique<Picture>()) {
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

  WebPConfig& config = picture_->config;
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

  WebPPicture& picture = picture_->picture;
  if (!WebPPictureInit(&picture)) fail("libwebp does not match the version built against");
  picture.use_argb = 1;
  picture.width = width;
  picture.height = height;
  const std::string memory = "not enough memory for a " + sizeText(width, height) + " animation";
  if (!WebPPictureAlloc(&picture)) fail(memory);

  WebPAnimEncoderOptions options;
  if (!WebPAnimEncoderOptionsInit(&options)) {
    fail("libwebp does not match the version built against");
  }
  options.anim_params.loop_count = 0;  // loop forever
  options.anim_params.bgcolor = 0xff000000U;
  // The pattern only ever adds pixels, so a frame stored as the rectangle that changed since the
  // one before is far smaller than a whole picture; key frames (whole pictures that a player can
  // start from) only cost space in a file that is always played from the start. kmax <= 0 turns
  // them off after the first frame.
  options.kmin = 0;
  options.kmax = 0;
  options.allow_mixed = 0;
  options.minimize_size = 0;
  options.verbose = 0;
  encoder_ = WebPAnimEncoderNew(width, height, &options);
  if (encoder_ == nullptr) fail(memory);
}

WebpAnimation::~WebpAnimation() { release(); }

void WebpAnimation::release() {
  if (encoder_ != nullptr) WebPAnimEncoderDelete(encoder_);
  encoder_ = nullptr;
}

void WebpAnimation::add(const Canvas& canvas) {
  if (encoder_ == nullptr || canvas.width() != width_ || canvas.height() != height_) {
    fail("a frame that does not fit the animation");
  }
  if (static_cast<std::uint64_t>(frames_ + 1) * static_cast<std::uint64_t>(settings_.frameMs) >
      kMaxAnimationMs) {
    fail("an animation longer than " + std::to_string(kMaxAnimationMs / 1000) + " s");
  }
  WebPPicture& picture = picture_->picture;
  const int storedWidth = canvas.storedWidth();
  const int storedHeight = canvas.storedHeight();
  for (int y = 0; y < height_; ++y) {
    std::uint32_t* out = picture.argb + static_cast<std::ptrdiff_t>(y) * picture.argb_stride;
    int x = 0;
    if (y < storedHeight) {
      const std::uint32_t* in = canvas.row(y);
      for (; x < storedWidth; ++x) out[x] = toArgb(in[x]);
    }
    std::fill(out + x, out + width_, toArgb(kBlack));
  }
  if (!WebPAnimEncoderAdd(encoder_, &picture, frames_ * settings_.frameMs, &picture_->config)) {
    const std::string reason = WebPAnimEncoderGetError(encoder_);
    fail("cannot encode frame " + std::to_string(frames_ + 1) + ": " + reason);
  }
  ++frames_;
}

WebpBytes WebpAnimation::finish() {
  if (encoder_ == nullptr || frames_ == 0) fail("an animation without frames");
  WebpBytes file;
  // A last call without a picture sets how long the final frame stays.
  if (!WebPAnimEncoderAdd(encoder_, nullptr, frames_ * settings_.frameMs, nullptr) ||
      !WebPAnimEncoderAssemble(encoder_, file.data())) {
    const std::string reason = WebPAnimEncoderGetError(encoder_);
    release();
    fail("cannot assemble the animation: " + reason);
  }
  release();
  WebPPictureFree(&picture_->picture);
  return file;
}

void toRgb(const std::uint32_t* colours, std::size_t count, std::uint8_t* out) {
  for (std::size_t i = 0; i < count; ++i) {
    const std::uint32_t colour = colours[i];
    out[3 * i] = static_cast<std::uint8_t>(colour & 0xff);
    out[3 * i + 1] = static_cast<std::uint8_t>(colour >> 8 & 0xff);
    out[3 * i + 2] = static_cast<std::uint8_t>(colour >> 16 & 0xff);
  }
}

void RgbFrames::add(const Canvas& canvas) {
  constexpr std::size_t kPieceBytes = std::size_t{1} << 20;
  const auto width = static_cast<std::size_t>(canvas.width());
  const std::size_t rowBytes = 3 * width;
  if (rowBytes == 0 || canvas.height() == 0) return;
  const std::size_t rowsPerPiece = std::max<std::size_t>(1, kPieceBytes / rowBytes);
  buffer_.resize(rowsPerPiece * rowBytes);
  const auto storedWidth = static_cast<std::size_t>(canvas.storedWidth());
  const int storedHeight = canvas.storedHeight();
  std::size_t filled = 0;
  for (int y = 0; y < canvas.height(); ++y) {
    std::uint8_t* out = buffer_.data() + filled;
    std::size_t x = 0;
    if (y < storedHeight) {
      toRgb(canvas.row(y), storedWidth, out);
      x = storedWidth;
    }
    std::fill(out + 3 * x, out + rowBytes, std::uint8_t{0});
    filled += rowBytes;
    if (filled == buffer_.size() || y + 1 == canvas.height()) {
      sink_(std::span<const std::uint8_t>(buffer_.data(), filled));
      filled = 0;
    }
  }
}

}  // namespace walkers::render
