// PNG encoding with libpng, streamed through an OutputFile.
#include "tools/png_file.hpp"

#include <png.h>

#include <algorithm>
#include <cerrno>
#include <csetjmp>
#include <exception>
#include <vector>

namespace walkers::render {
namespace {

// What the write callback needs: where the bytes go, and the failure it met, which must not
// unwind through libpng's C frames and so waits here until libpng has returned.
struct Sink {
  OutputFile* output;
  std::exception_ptr failure;
};

extern "C" void pngWrite(png_structp png, png_bytep data, png_size_t length) {
  auto* sink = static_cast<Sink*>(png_get_io_ptr(png));
  try {
    sink->output->write(data, length);
  } catch (...) {
    sink->failure = std::current_exception();
    png_error(png, "write failed");
  }
}

extern "C" void pngFlush(png_structp) {}

// libpng's own handlers print to stderr; ours stay quiet, and the message is made below.
extern "C" void pngFailQuietly(png_structp png, png_const_charp) { png_longjmp(png, 1); }
extern "C" void pngWarnQuietly(png_structp, png_const_charp) {}

// The libpng calls, apart from anything with a destructor, since the error handler jumps back
// here. False if libpng failed.
bool encode(png_structp png, png_infop info, Sink* sink, const Canvas& canvas, Rgb* row) {
  if (setjmp(png_jmpbuf(png))) return false;
  png_set_write_fn(png, sink, pngWrite, pngFlush);
  png_set_IHDR(png, info, static_cast<png_uint_32>(canvas.width()),
               static_cast<png_uint_32>(canvas.height()), 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  for (int y = 0; y < canvas.height(); ++y) {
    canvas.copyRow(y, row, toRgb);
    // NOLINTNEXTLINE(cppcoreguidelines-pro-type-reinterpret-cast): bytes of the row
    png_write_row(png, reinterpret_cast<png_bytep>(row));
  }
  png_write_end(png, nullptr);
  return true;
}

}  // namespace

void writePng(const Canvas& canvas, OutputFile& output) {
  std::vector<Rgb> row(static_cast<std::size_t>(canvas.width()));
  Sink sink{&output, nullptr};
  png_structp png =
      png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, pngFailQuietly, pngWarnQuietly);
  png_infop info = png ? png_create_info_struct(png) : nullptr;
  if (!info) {
    png_destroy_write_struct(&png, nullptr);
    output.fail(ENOMEM);
  }
  const bool encoded = encode(png, info, &sink, canvas, row.data());
  png_destroy_write_struct(&png, &info);
  if (sink.failure) std::rethrow_exception(sink.failure);
  if (!encoded) output.fail(ENOMEM);  // libpng fails on its own only when it runs out of memory
}

}  // namespace walkers::render
