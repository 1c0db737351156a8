// PNG encoding with libpng into a temporary file, then an atomic rename into place.
#include "tools/png_file.hpp"

#include <fcntl.h>
#include <png.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <vector>

namespace walkers::render {
namespace {

// The temporary path, kept where a signal handler can reach it without allocating.
char pendingPath[4096];
volatile std::sig_atomic_t havePending = 0;

extern "C" void removePendingAndDie(int signal) {
  if (havePending) ::unlink(pendingPath);
  std::signal(signal, SIG_DFL);
  std::raise(signal);
}

[[noreturn]] void fail(const std::string& path, const char* doing, int error) {
  throw OutputError("cannot " + std::string(doing) + " " + path + ": " + std::strerror(error));
}

extern "C" void pngWrite(png_structp png, png_bytep data, png_size_t length) {
  const int fd = *static_cast<int*>(png_get_io_ptr(png));
  while (length > 0) {
    const ssize_t written = ::write(fd, data, length);
    if (written < 0) {
      if (errno == EINTR) continue;
      png_error(png, std::strerror(errno));
    }
    data += written;
    length -= static_cast<png_size_t>(written);
  }
}

extern "C" void pngFlush(png_structp) {}

// libpng's own handlers print to stderr; ours stay quiet and leave errno for the message.
extern "C" void pngFailQuietly(png_structp png, png_const_charp) { png_longjmp(png, 1); }
extern "C" void pngWarnQuietly(png_structp, png_const_charp) {}

}  // namespace

PendingPng::PendingPng(std::string target) : target_(std::move(target)) {
  temporary_ = target_ + ".tmp.XXXXXX";
  if (temporary_.size() >= sizeof pendingPath) fail(target_, "write", ENAMETOOLONG);
  struct stat existing {};
  if (::stat(target_.c_str(), &existing) == 0 && S_ISDIR(existing.st_mode)) {
    fail(target_, "write", EISDIR);
  }
  std::memcpy(pendingPath, temporary_.c_str(), temporary_.size() + 1);
  fd_ = ::mkstemp(pendingPath);
  if (fd_ < 0) fail(target_, "write", errno);
  temporary_ = pendingPath;
  havePending = 1;
  for (const int signal : {SIGINT, SIGTERM, SIGHUP}) std::signal(signal, removePendingAndDie);
  // mkstemp makes the file private; give it the mode a plain new file would get.
  const mode_t mask = ::umask(0);
  ::umask(mask);
  ::fchmod(fd_, 0666 & ~mask);
}

PendingPng::~PendingPng() {
  if (fd_ >= 0) ::close(fd_);
  if (havePending) {
    havePending = 0;
    ::unlink(temporary_.c_str());
  }
}

void PendingPng::commit(const Canvas& canvas) {
  png_structp png =
      png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, pngFailQuietly, pngWarnQuietly);
  png_infop info = png ? png_create_info_struct(png) : nullptr;
  if (!info) {
    png_destroy_write_struct(&png, nullptr);
    fail(target_, "write", ENOMEM);
  }
  const auto width = static_cast<std::size_t>(canvas.width());
  std::vector<png_byte> row(width * 3);
  errno = 0;
  volatile int error = 0;
  if (setjmp(png_jmpbuf(png))) {
    error = errno ? errno : EIO;
  } else {
    png_set_write_fn(png, &fd_, pngWrite, pngFlush);
    png_set_IHDR(png, info, static_cast<png_uint_32>(canvas.width()),
                 static_cast<png_uint_32>(canvas.height()), 8, PNG_COLOR_TYPE_RGB,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (int y = 0; y < canvas.height(); ++y) {
      const std::uint32_t* pixels = canvas.row(y);
      for (std::size_t x = 0; x < width; ++x) {
        const std::uint32_t colour = pixels[x];
        row[3 * x] = static_cast<png_byte>(colour & 0xff);
        row[3 * x + 1] = static_cast<png_byte>((colour >> 8) & 0xff);
        row[3 * x + 2] = static_cast<png_byte>((colour >> 16) & 0xff);
      }
      png_write_row(png, row.data());
    }
    png_write_end(png, nullptr);
  }
  png_destroy_write_struct(&png, &info);
  if (error != 0) fail(target_, "write", error);
  if (::fsync(fd_) != 0) fail(target_, "write", errno);
  const int closed = ::close(fd_);
  fd_ = -1;
  if (closed != 0) fail(target_, "write", errno);
  if (::rename(temporary_.c_str(), target_.c_str()) != 0) fail(target_, "write", errno);
  havePending = 0;
}

}  // namespace walkers::render
