// Standard streams on Unix: closed descriptors 0, 1 and 2 opened on /dev/null; lines on stderr.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <string>

#include "host/core/seams.hpp"
#include "host/unix/standard_descriptors.hpp"

namespace walkers {

std::optional<bool> openStandardStreams() {
  const bool outputClosed = ::fcntl(STDOUT_FILENO, F_GETFD) == -1 && errno == EBADF;
  if (!openStandardDescriptors()) return std::nullopt;
  return outputClosed;
}

void reportLine(const std::string& line) { std::fprintf(stderr, "walkers: %s\n", line.c_str()); }

}  // namespace walkers
