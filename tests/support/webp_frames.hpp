// Decoding an animated WebP with libwebp's own decoder, for tests that check what a player shows.
#pragma once

#include <webp/demux.h>

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace walkers::testing {

struct DecodedAnimation {
  int width = 0;
  int height = 0;
  std::uint32_t loopCount = 0;
  std::vector<int> ends;                          // when each frame stops showing, in ms
  std::vector<std::vector<std::uint8_t>> frames;  // each frame as 8-bit RGB, rows from the top

  // The frame on screen at `ms` from the start, or null past the end.
  const std::vector<std::uint8_t>* at(int ms) const {
    for (std::size_t i = 0; i < ends.size(); ++i) {
      if (ms < ends[i]) return &frames[i];
    }
    return nullptr;
  }
};

// Decodes every frame; an empty result (width 0) if libwebp refuses the file.
inline DecodedAnimation decodeWebp(std::span<const std::uint8_t> file) {
  DecodedAnimation result;
  const WebPData data{file.data(), file.size()};
  WebPAnimDecoderOptions options;
  if (!WebPAnimDecoderOptionsInit(&options)) return result;
  options.color_mode = MODE_RGBA;
  options.use_threads = 0;
  WebPAnimDecoder* decoder = WebPAnimDecoderNew(&data, &options);
  if (decoder == nullptr) return result;
  WebPAnimInfo info;
  if (WebPAnimDecoderGetInfo(decoder, &info)) {
    const auto pixels = static_cast<std::size_t>(info.canvas_width) * info.canvas_height;
    while (WebPAnimDecoderHasMoreFrames(decoder)) {
      std::uint8_t* rgba = nullptr;
      int end = 0;
      if (!WebPAnimDecoderGetNext(decoder, &rgba, &end)) {
        result.frames.clear();
        break;
      }
      std::vector<std::uint8_t> rgb(3 * pixels);
      for (std::size_t p = 0; p < pixels; ++p) {
        rgb[3 * p] = rgba[4 * p];
        rgb[3 * p + 1] = rgba[4 * p + 1];
        rgb[3 * p + 2] = rgba[4 * p + 2];
      }
      result.frames.push_back(std::move(rgb));
      result.ends.push_back(end);
    }
    if (!result.frames.empty()) {
      result.width = static_cast<int>(info.canvas_width);
      result.height = static_cast<int>(info.canvas_height);
      result.loopCount = info.loop_count;
    }
  }
  WebPAnimDecoderDelete(decoder);
  return result;
}

}  // namespace walkers::testing
