// mmap for canvas pixels, and madvise to hand a large block's pages back when it is cleared.
#include "host/unix/page_memory.hpp"

#include <sys/mman.h>

namespace walkers {

std::uint32_t* PageMemory::allocate(std::size_t count) {
  void* pages = ::mmap(nullptr, count * sizeof(std::uint32_t), PROT_READ | PROT_WRITE,
                       MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  return pages == MAP_FAILED ? nullptr : static_cast<std::uint32_t*>(pages);
}

void PageMemory::release(std::uint32_t* pixels, std::size_t count) {
  ::munmap(pixels, count * sizeof(std::uint32_t));
}

bool PageMemory::zero(std::uint32_t* pixels, std::size_t count) {
  const std::size_t bytes = count * sizeof(std::uint32_t);
  // Private anonymous pages read as zero again once released (Linux's promise for this advice).
  return bytes >= kReleaseBytes && ::madvise(pixels, bytes, MADV_DONTNEED) == 0;
}

PageMemory& PageMemory::process() {
  static PageMemory memory;
  return memory;
}

}  // namespace walkers
