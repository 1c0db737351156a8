// Reads images for the end-to-end tests: size and bounds of the painted (non-black) pixels,
// whether given pixels are painted, and how many pixels of one image are erased, different or
// kept in another.
#include <png.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

struct Image {
  png_uint_32 width = 0;
  png_uint_32 height = 0;
  std::vector<png_byte> rgb;
  bool painted(png_uint_32 x, png_uint_32 y) const {
    const std::size_t at = 3 * (static_cast<std::size_t>(y) * width + x);
    return rgb[at] != 0 || rgb[at + 1] != 0 || rgb[at + 2] != 0;
  }
};

Image load(const char* path) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&image, path)) {
    std::fprintf(stderr, "png_probe: cannot read %s: %s\n", path, image.message);
    std::exit(2);
  }
  image.format = PNG_FORMAT_RGB;
  Image out{image.width, image.height, std::vector<png_byte>(PNG_IMAGE_SIZE(image))};
  if (!png_image_finish_read(&image, nullptr, out.rgb.data(), 0, nullptr)) {
    std::fprintf(stderr, "png_probe: cannot decode %s: %s\n", path, image.message);
    std::exit(2);
  }
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string mode = argc > 1 ? argv[1] : "";
  if (mode == "info" && argc == 3) {
    // "W H COUNT LEFT TOP RIGHT BOTTOM" (inclusive bounds; -1s when nothing is painted)
    const Image image = load(argv[2]);
    long count = 0;
    long left = -1, top = -1, right = -1, bottom = -1;
    for (png_uint_32 y = 0; y < image.height; ++y) {
      for (png_uint_32 x = 0; x < image.width; ++x) {
        if (!image.painted(x, y)) continue;
        if (count++ == 0) left = right = x, top = bottom = y;
        left = std::min<long>(left, x), right = std::max<long>(right, x);
        top = std::min<long>(top, y), bottom = std::max<long>(bottom, y);
      }
    }
    std::printf("%u %u %ld %ld %ld %ld %ld\n", image.width, image.height, count, left, top, right,
                bottom);
    return 0;
  }
  if (mode == "painted" && argc >= 5 && argc % 2 == 1) {
    // 1 or 0 for each X Y given: whether that pixel is painted (0 too when off the image).
    const Image image = load(argv[2]);
    for (int arg = 3; arg + 1 < argc; arg += 2) {
      const long x = std::strtol(argv[arg], nullptr, 10);
      const long y = std::strtol(argv[arg + 1], nullptr, 10);
      const bool inside = x >= 0 && y >= 0 && x < static_cast<long>(image.width) &&
                          y < static_cast<long>(image.height);
      std::printf(
          "%s%d", arg > 3 ? " " : "",
          inside && image.painted(static_cast<png_uint_32>(x), static_cast<png_uint_32>(y)));
    }
    std::printf("\n");
    return 0;
  }
  if ((mode == "erased" || mode == "differ" || mode == "kept") && argc == 4) {
    // erased: pixels painted in the first image and black in the second;
    // differ: pixels of any other colour in the second;
    // kept: pixels painted in the first image with the very same colour in the second.
    const Image before = load(argv[2]);
    const Image after = load(argv[3]);
    if (before.width != after.width || before.height != after.height) {
      std::fprintf(stderr, "png_probe: the images differ in size\n");
      return 2;
    }
    long count = 0;
    for (png_uint_32 y = 0; y < before.height; ++y) {
      for (png_uint_32 x = 0; x < before.width; ++x) {
        const std::size_t at = 3 * (static_cast<std::size_t>(y) * before.width + x);
        const bool same = std::equal(&before.rgb[at], &before.rgb[at] + 3, &after.rgb[at]);
        if (mode == "erased") {
          count += before.painted(x, y) && !after.painted(x, y);
        } else if (mode == "kept") {
          count += before.painted(x, y) && same;
        } else {
          count += !same;
        }
      }
    }
    std::printf("%ld\n", count);
    return 0;
  }
  std::fprintf(stderr,
               "usage: png_probe info IMAGE.png | png_probe painted IMAGE.png X Y [X Y]... |\n"
               "       png_probe erased|differ|kept A.png B.png\n");
  return 2;
}
