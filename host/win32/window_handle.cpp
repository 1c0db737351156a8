// parseOtherWindow on Windows: a window handle, in decimal or in hex with 0x, as Windows writes it.
#include <charconv>

#include "host/core/seams.hpp"

namespace walkers {

// Window handles are 32-bit values, also in 64-bit programs; 0 is no window.
std::optional<std::uintptr_t> parseOtherWindow(std::string_view text) {
  int base = 10;
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    text.remove_prefix(2);
    base = 16;
  }
  if (text.empty() || text.front() == '+' || text.front() == '-') return std::nullopt;
  std::uint64_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, base);
  if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  if (value == 0 || value > 0xffffffffULL) return std::nullopt;
  return static_cast<std::uintptr_t>(value);
}

const char* otherWindowForms() { return "expected a window handle, 0x1..0xffffffff or decimal"; }

}  // namespace walkers
