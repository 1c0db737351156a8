// Canvas pixels in pages straight from the system, which clearing hands back instead of writing.
#pragma once

#include <cstddef>
#include <cstdint>

#include "engine/canvas.hpp"

namespace walkers {

// Private anonymous pages: those nobody painted cost no memory, and a large block is zeroed by
// handing its pages back to the system (they read as zero again), not by writing every one. For a
// host that has no memory of its own to show the canvas from; one for the whole process.
class PageMemory : public PixelMemory {
 public:
  std::uint32_t* allocate(std::size_t count) override;
  void release(std::uint32_t* pixels, std::size_t count) override;
  PixelOrder order() const override { return PixelOrder::kRedLow; }
  bool zero(std::uint32_t* pixels, std::size_t count) override;

  static PageMemory& process();

  // Below this many bytes, writing the zeros is as cheap as handing the pages back and taking
  // them again.
  static constexpr std::size_t kReleaseBytes = std::size_t{1} << 22;
};

}  // namespace walkers
