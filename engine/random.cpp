// Clock seeding for the random source.
#include "engine/random.hpp"

#include <chrono>

namespace walkers {

std::uint64_t clockSeed() {
  const auto sinceEpoch = std::chrono::system_clock::now().time_since_epoch();
  return static_cast<std::uint64_t>(
      std::chrono::duration_cast<std::chrono::nanoseconds>(sinceEpoch).count());
}

}  // namespace walkers
