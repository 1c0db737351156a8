// openStandardStreams on Unix: closed descriptors 0, 1 and 2 opened on /dev/null.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "host/core/seams.hpp"
#include "host/unix/standard_descriptors.hpp"

namespace walkers {

std::optional<bool> openStandardStreams() {
  const bool outputClosed = ::fcntl(STDOUT_FILENO, F_GETFD) == -1 && errno == EBADF;
  if (!openStandardDescriptors()) return std::nullopt;
  return outputClosed;
}

}  // namespace walkers
