// Checks of the walker table and canvas that must hold after any sequence of ticks, keys,
// resizes and clears; shared by the fuzz target and the soak benchmark.
#pragma once

#include <bitset>
#include <cstdio>
#include <string>

#include "engine/canvas.hpp"
#include "engine/walkers.hpp"

namespace walkers::testing {

class InvariantChecker {
 public:
  // Checks the state after one operation. `mayHaveSeeded`: the operation could have seeded a new
  // pattern (a tick while unseeded); `justTicked`: the operation ended with a tick, so every
  // active walker on the canvas stands on the pixel it has just painted. Returns what is wrong,
  // or an empty string.
  std::string check(const Walkers& pattern, const Canvas& canvas, bool mayHaveSeeded,
                    bool justTicked) {
    const auto& steps = pattern.stepsLeft();
    if (canvas.storedWidth() > canvas.stride() || canvas.storedWidth() > canvas.width() ||
        canvas.storedHeight() > canvas.height() ||
        canvas.pixels().size() < static_cast<std::size_t>(canvas.stride()) *
                                     static_cast<std::size_t>(canvas.storedHeight())) {
      return "canvas store does not cover its area";
    }
    std::bitset<kSlots> active;
    for (int k = 0; k < kSlots; ++k) {
      if (steps[k] < 0) return "stepsLeft(" + std::to_string(k) + ") is negative";
      active[k] = steps[k] > 0;
    }
    if (!pattern.seeded() && !everSeeded_) return active.none() ? "" : "active slot before seeding";
    everSeeded_ = true;
    if (pattern.lastWalker() < 101 || pattern.lastWalker() > 500 || pattern.runLength() < 1 ||
        pattern.runLength() > 20 || pattern.runFactor() < 1 || pattern.runFactor() > 5) {
      return "pattern parameters out of range";
    }
    for (int k = 0; k < kSlots; ++k) {
      if (!active[k]) continue;
      if (k > pattern.lastWalker()) return "slot " + std::to_string(k) + " active above lastWalker";
      if (steps[k] > pattern.fullRun()) return "slot " + std::to_string(k) + " run too long";
    }
    if (!mayHaveSeeded && (wasActive_ & ~active).any()) return "a slot was freed within a pattern";
    wasActive_ = active;
    if (justTicked) {
      for (int k = 0; k < kSlots; ++k) {
        if (!active[k]) continue;
        const Colour colour = canvas.Point(pattern.posX()[k], pattern.posY()[k]);
        if (colour == kOutside) continue;
        const Rgb parts = toRgb(static_cast<std::uint32_t>(colour));
        for (const int component : {int{parts.red}, int{parts.green}, int{parts.blue}}) {
          if (component < 5 || component > 254) {
            return "walker " + std::to_string(k) + " stands on colour " + std::to_string(colour);
          }
        }
      }
    }
    return "";
  }

 private:
  std::bitset<kSlots> wasActive_;
  bool everSeeded_ = false;
};

}  // namespace walkers::testing
