// Where canvas pixels live: a host's memory to show them from, or the C library's, zero-filled.
#pragma once

#include <cstddef>
#include <cstdint>
#include <utility>

#include "engine/colour.hpp"

namespace walkers {

// A host's memory for canvas pixels, for a host that shows them straight from there (a segment
// shared with a display server). The contract: allocate returns zero-filled memory for `count`
// pixels, or nullptr when it cannot (the canvas then uses its own); release is called once for
// every block allocate gave, with its count; both are called on the canvas's thread; order is
// the same for every call. A PixelMemory must outlive every canvas that keeps pixels in it.
class PixelMemory {
 public:
  virtual ~PixelMemory() = default;
  virtual std::uint32_t* allocate(std::size_t count) = 0;
  virtual void release(std::uint32_t* pixels, std::size_t count) = 0;
  virtual PixelOrder order() const = 0;
  // Sets a block allocate gave back to zero in a way cheaper than writing it (handing its pages
  // back to the system, say) and answers true; false, the default, has the canvas write the zeros.
  virtual bool zero(std::uint32_t* /*pixels*/, std::size_t /*count*/) { return false; }
};

// Zero-filled pixel memory: a host's (see PixelMemory) when one is given and it has some, else the
// C library's (std::calloc, whose large blocks cost no memory where nothing was painted).
class PixelStore {
 public:
  PixelStore() = default;
  // With `memory`, the store is memory's when it has some, else the system's unless onlyThere,
  // when the store is left empty.
  explicit PixelStore(std::size_t count, PixelMemory* memory = nullptr,
                      bool onlyThere = false);  // throws std::bad_alloc
  ~PixelStore();
  PixelStore(PixelStore&& other) noexcept { swap(other); }
  PixelStore& operator=(PixelStore&& other) noexcept {
    swap(other);
    return *this;
  }
  PixelStore(const PixelStore&) = delete;
  PixelStore& operator=(const PixelStore&) = delete;

  std::uint32_t* data() const { return data_; }
  std::size_t size() const { return count_; }
  void clear();  // every value back to 0

 private:
  void swap(PixelStore& other) noexcept {
    std::swap(data_, other.data_);
    std::swap(count_, other.count_);
    std::swap(memory_, other.memory_);
  }
  std::uint32_t* data_ = nullptr;
  std::size_t count_ = 0;
  PixelMemory* memory_ = nullptr;  // where data_ came from; the system's when null
};

}  // namespace walkers
