// The error raised by 16-bit range checks.
#include "engine/checked.hpp"

#include <cstdio>

namespace walkers {

void throwOverflow(const char* what, double value) {
  char message[160];
  std::snprintf(message, sizeof message, "overflow: %s would be %.17g, outside -32768..32767", what,
                value);
  throw OverflowError(message);
}

}  // namespace walkers
