// The reasons earlier ways of drawing failed, kept for the start-up line of the last one.
#include "host/core/attempts.hpp"

namespace walkers {
namespace {

std::string& failedAttempts() {
  static std::string reasons;
  return reasons;
}

}  // namespace

void noteFailedAttempt(const std::string& why) {
  std::string& reasons = failedAttempts();
  reasons += why;
  reasons += "; ";
}

std::string afterFailedAttempts(const std::string& why) { return failedAttempts() + why; }

}  // namespace walkers
