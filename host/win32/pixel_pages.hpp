// Canvas pixels in pages from VirtualAlloc, in the order a 32-bit device-independent bitmap has.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <new>

#include "engine/canvas.hpp"

namespace walkers {

// A 32-bit DIB holds blue, green, red, unused: read as a 32-bit value, red is the high byte, so
// the window paints the canvas's rows as they are. Committed pages read as zero (black).
class PixelPages : public PixelMemory {
 public:
  std::uint32_t* allocate(std::size_t count) override {
    return static_cast<std::uint32_t*>(::VirtualAlloc(nullptr, count * sizeof(std::uint32_t),
                                                      MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
  }
  void release(std::uint32_t* pixels, std::size_t /*count*/) override {
    ::VirtualFree(pixels, 0, MEM_RELEASE);
  }
  PixelOrder order() const override { return PixelOrder::kRedHigh; }
  // A large block is cleared by decommitting its pages and committing them again: they come back
  // as zeros without a write to each.
  bool zero(std::uint32_t* pixels, std::size_t count) override {
    const std::size_t bytes = count * sizeof(std::uint32_t);
    if (bytes < kDecommitBytes || !::VirtualFree(pixels, bytes, MEM_DECOMMIT)) return false;
    if (::VirtualAlloc(pixels, bytes, MEM_COMMIT, PAGE_READWRITE)) return true;
    throw std::bad_alloc();  // the pages cannot be had again
  }

 private:
  static constexpr std::size_t kDecommitBytes = std::size_t{1} << 22;
};

}  // namespace walkers
