// A display's refresh period, and the 60 Hz assumed where the display does not say.
#pragma once

#include <chrono>
#include <cmath>

namespace walkers {

inline constexpr std::chrono::nanoseconds kFallbackRefreshPeriod{1'000'000'000 / 60};

// The period of `hz` refreshes a second; the fallback for a rate that is unknown (zero, negative
// or not a number).
inline std::chrono::nanoseconds refreshPeriodOf(double hz) {
  if (!(hz > 0) || !std::isfinite(hz)) return kFallbackRefreshPeriod;
  return std::chrono::nanoseconds(std::llround(1e9 / hz));
}

}  // namespace walkers
