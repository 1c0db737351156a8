// Tests of the seed line: written whole when the output can take it, dropped when it cannot.
#include "host/unix/seed_line.hpp"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <csignal>
#include <string>

namespace walkers {
namespace {

TEST(SeedLine, IsWrittenWholeOrDroppedButNeverWaitsForTheReader) {
  int ends[2];
  ASSERT_EQ(::pipe(ends), 0);
  ASSERT_TRUE(writeSeedLine(ends[1], 18446744073709551615ULL));
  char text[64] = {};
  ASSERT_EQ(::read(ends[0], text, sizeof text), 27);
  EXPECT_STREQ(text, "seed: 18446744073709551615\n");

  // A full pipe in blocking mode, as a parent that never reads leaves it.
  ::fcntl(ends[1], F_SETFL, O_NONBLOCK);
  const std::string block(4096, 'x');
  std::size_t filled = 0;
  for (ssize_t n = 0; (n = ::write(ends[1], block.data(), block.size())) > 0;) {
    filled += static_cast<std::size_t>(n);
  }
  ::fcntl(ends[1], F_SETFL, 0);
  ::alarm(20);  // should the write wait after all, the test ends here rather than hanging
  EXPECT_FALSE(writeSeedLine(ends[1], 7));
  ::alarm(0);
  std::string drained(filled + 64, '\0');
  EXPECT_EQ(::read(ends[0], drained.data(), drained.size()), static_cast<ssize_t>(filled));

  // A reader that went away: the line is dropped, and SIGPIPE (ignored by walkers) is no matter.
  const auto previous = std::signal(SIGPIPE, SIG_IGN);
  ::close(ends[0]);
  EXPECT_FALSE(writeSeedLine(ends[1], 7));
  std::signal(SIGPIPE, previous);
  ::close(ends[1]);
}

}  // namespace
}  // namespace walkers
