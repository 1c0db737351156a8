// How many pages of a block of memory are resident, for tests of memory handed back.
#pragma once

#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <vector>

namespace walkers::test {

// How many of the pages under `bytes` bytes from `start` (page-aligned) are resident.
inline std::size_t residentPages(const void* start, std::size_t bytes) {
  const auto page = static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
  std::vector<unsigned char> pages((bytes + page - 1) / page);
  EXPECT_EQ(::mincore(const_cast<void*>(start), bytes, pages.data()), 0);
  std::size_t resident = 0;
  for (const unsigned char flags : pages) resident += flags & 1;
  return resident;
}

}  // namespace walkers::test
