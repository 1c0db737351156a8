// The canvas's pixel store: from a host's memory or the C library's, and cleared the cheaper way.
#include "engine/pixel_memory.hpp"

#include <cstdlib>
#include <cstring>
#include <new>

namespace walkers {

PixelStore::PixelStore(std::size_t count, PixelMemory* memory, bool onlyThere) : count_(count) {
  if (count == 0) return;
  if (memory) {
    data_ = memory->allocate(count);
    if (data_) {
      memory_ = memory;
      return;
    }
    if (onlyThere) {
      count_ = 0;
      return;
    }
  }
  data_ = static_cast<std::uint32_t*>(std::calloc(count, sizeof(std::uint32_t)));
  if (!data_) throw std::bad_alloc();
}

PixelStore::~PixelStore() {
  if (memory_) {
    memory_->release(data_, count_);
  } else {
    std::free(data_);
  }
}

void PixelStore::clear() {
  // A host's memory may zero its own blocks more cheaply than writing them (handing their pages
  // back to the system); otherwise the zeros are written.
  if (memory_ && memory_->zero(data_, count_)) return;
  if (data_) std::memset(data_, 0, count_ * sizeof(std::uint32_t));
}

}  // namespace walkers
