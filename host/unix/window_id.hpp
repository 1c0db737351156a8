// Reading an X window id as people and programs write it (--window-id, XSCREENSAVER_WINDOW).
#pragma once

#include <charconv>
#include <cstdint>
#include <optional>
#include <string_view>

namespace walkers {

// A window id: hex with 0x, or decimal. Nothing for anything else, for 0 (no window), and for
// values no X window can have (servers give out ids within 29 bits).
inline std::optional<unsigned long> parseWindowId(std::string_view text) {
  int base = 10;
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    text.remove_prefix(2);
    base = 16;
  }
  if (text.empty() || text.front() == '+' || text.front() == '-') return std::nullopt;
  std::uint64_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, base);
  if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  if (value == 0 || value > 0x1fffffffULL) return std::nullopt;  // None is 0
  return static_cast<unsigned long>(value);
}

}  // namespace walkers
