// WALKERS_TICK_LIMIT: the tick at which end-to-end tests hold the picture.
#pragma once

#include <charconv>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <optional>

namespace walkers {

// WALKERS_TICK_LIMIT=N stops the timer after N ticks, so that end-to-end tests can compare a
// host's picture with walkers-render at a known tick. Anything but plain digits is ignored.
inline std::optional<std::uint64_t> tickLimit() {
  const char* text = std::getenv("WALKERS_TICK_LIMIT");
  if (!text || !*text) return std::nullopt;
  std::uint64_t limit = 0;
  const char* end = text + std::strlen(text);
  const auto [stop, error] = std::from_chars(text, end, limit);
  if (error != std::errc{} || stop != end) return std::nullopt;
  return limit;
}

}  // namespace walkers
