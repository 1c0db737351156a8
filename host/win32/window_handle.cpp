// parseOtherWindow on Windows: a window handle, in decimal or in hex with 0x, as Windows writes it.
#include "common/option_text.hpp"
#include "host/core/seams.hpp"

namespace walkers {

// Window handles are 32-bit values, also in 64-bit programs; 0 is no window.
std::optional<std::uintptr_t> parseOtherWindow(std::string_view text) {
  std::uint64_t value = 0;
  if (!parseWindowNumber(text, 0xffffffffULL, value)) return std::nullopt;
  return static_cast<std::uintptr_t>(value);
}

const char* otherWindowForms() { return "expected a window handle, 0x1..0xffffffff or decimal"; }

}  // namespace walkers
