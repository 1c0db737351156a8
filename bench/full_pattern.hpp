// A pattern with every walker slot active, the fixed starting point of the engine's speed figures.
#pragma once

#include <cstdint>

#include "engine/canvas.hpp"
#include "engine/random.hpp"
#include "engine/walkers.hpp"

namespace walkers::bench {

// A pattern at 510 x 370 with all 501 slots active: the first seed whose lastWalker is 500,
// grown until every slot is taken.
struct FullPattern {
  Canvas canvas{510, 370};
  Walkers pattern;
  Random random;
  FullPattern() {
    for (std::uint64_t seed = 0;; ++seed) {
      random = Random{seed};
      pattern.requestReseed();
      pattern.tick(canvas, random);
      if (pattern.lastWalker() == 500) break;
    }
    while (pattern.activeCount() < kSlots) pattern.tick(canvas, random);
  }
};

}  // namespace walkers::bench
