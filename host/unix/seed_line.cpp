// Writing a seed line only when the output can take it without waiting.
#include "host/unix/seed_line.hpp"

#include <poll.h>
#include <unistd.h>

#include <cinttypes>
#include <cstdio>

#include "host/core/seams.hpp"

namespace walkers {

bool writeSeedLineOrDrop(int fd, std::uint64_t seed) {
  char line[40];
  const int length = std::snprintf(line, sizeof line, "seed: %" PRIu64 "\n", seed);
  // Writable means room for a line this short: a pipe or FIFO with a free buffer takes it whole
  // (lines under PIPE_BUF are never split), a terminal with room in its queue, any file or device.
  // The descriptor's own blocking mode is left alone: its open file is shared with other programs.
  pollfd output{fd, POLLOUT, 0};
  if (::poll(&output, 1, 0) != 1 || (output.revents & POLLOUT) == 0) return false;
  return ::write(fd, line, static_cast<std::size_t>(length)) == length;
}

bool printSeedLine(std::uint64_t seed) { return writeSeedLineOrDrop(STDOUT_FILENO, seed); }

}  // namespace walkers
