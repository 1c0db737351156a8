// A host's pixel memory for tests: heap blocks handed to a canvas and counted back.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "engine/canvas.hpp"

namespace walkers {

// Heap blocks standing in for a host's memory: gives out `blocks` of them, then refuses.
class HostMemory : public PixelMemory {
 public:
  explicit HostMemory(int blocks) : left_(blocks) {}
  std::uint32_t* allocate(std::size_t count) override {
    if (left_-- <= 0) return nullptr;
    given_.push_back(std::make_unique<std::uint32_t[]>(count));  // zero-filled
    return given_.back().get();
  }
  void release(std::uint32_t* pixels, std::size_t /*count*/) override {
    std::erase_if(given_, [&](const auto& block) { return block.get() == pixels; });
  }
  PixelOrder order() const override { return PixelOrder::kRedHigh; }
  bool holds(const Canvas& canvas) const {
    return std::any_of(given_.begin(), given_.end(),
                       [&](const auto& block) { return block.get() == canvas.pixels().data(); });
  }
  std::size_t held() const { return given_.size(); }

 private:
  int left_;
  std::vector<std::unique_ptr<std::uint32_t[]>> given_;
};

}  // namespace walkers
