// 16-bit range-checked arithmetic and the floor function `Int` used by the pattern engine.
#pragma once

#include <cmath>
#include <cstdint>
#include <stdexcept>
#include <string>

namespace walkers {

// Raised when a 16-bit result would leave -32768..32767; nothing in the engine wraps silently.
class OverflowError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

inline constexpr int kInt16Min = INT16_MIN;
inline constexpr int kInt16Max = INT16_MAX;

[[noreturn]] void throwOverflow(const char* what, double value);

// Narrows a whole-number result to 16 bits, raising OverflowError when it does not fit.
inline std::int16_t checked16(int value, const char* what) {
  if (value < kInt16Min || value > kInt16Max) throwOverflow(what, value);
  return static_cast<std::int16_t>(value);
}

// Narrows a floating result (already whole) to 16 bits; NaN and infinities do not fit either.
inline std::int16_t checked16(double value, const char* what) {
  if (!(value >= kInt16Min && value <= kInt16Max)) throwOverflow(what, value);
  return static_cast<std::int16_t>(value);
}

inline std::int16_t mul16(std::int16_t a, std::int16_t b, const char* what) {
  return checked16(int{a} * int{b}, what);
}

// The largest whole number not greater than x. Exact for every double; written out rather than
// calling std::floor so that it stays inline on a baseline x86-64 build (no SSE4.1 rounding).
inline double Int(double x) {
  constexpr double kAllWhole = 4503599627370496.0;  // 2^52: from here on every double is whole
  if (!(std::fabs(x) < kAllWhole)) return x;        // whole already, or NaN
  const auto truncated = static_cast<double>(static_cast<std::int64_t>(x));
  return truncated > x ? truncated - 1.0 : truncated;
}

}  // namespace walkers
