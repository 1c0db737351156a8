// parseOtherWindow on Unix: other programs' windows are X windows, named by their ids.
#include "host/core/seams.hpp"
#include "host/unix/window_id.hpp"

namespace walkers {

std::optional<std::uintptr_t> parseOtherWindow(std::string_view text) {
  if (const auto id = parseWindowId(text)) return *id;
  return std::nullopt;
}

const char* otherWindowForms() { return "expected 0x1..0x1fffffff or a decimal id"; }

}  // namespace walkers
