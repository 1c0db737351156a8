// Reading an X window id as people and programs write it (--window-id, XSCREENSAVER_WINDOW).
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "common/option_text.hpp"

namespace walkers {

// A window id: hex with 0x, or decimal. Nothing for anything else, for 0 (no window), and for
// values no X window can have (servers give out ids within 29 bits).
inline std::optional<unsigned long> parseWindowId(std::string_view text) {
  std::uint64_t value = 0;
  if (!parseWindowNumber(text, 0x1fffffffULL, value)) return std::nullopt;
  return static_cast<unsigned long>(value);
}

}  // namespace walkers
