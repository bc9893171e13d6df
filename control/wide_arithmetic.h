#pragma once
// 64-bit arithmetic that sticks at the int64 limits instead of wrapping, so a count
// far beyond 32 bits still reads as far beyond 32 bits when it is checked.

#include <cstdint>
#include <limits>

namespace cohortix {

inline int64_t limitOfSign(bool negative) {
  return negative ? std::numeric_limits<int64_t>::min() : std::numeric_limits<int64_t>::max();
}

inline int64_t wideMul(int64_t a, int64_t b) {
  int64_t result = 0;
  if (__builtin_mul_overflow(a, b, &result)) return limitOfSign((a < 0) != (b < 0));
  return result;
}

inline int64_t wideAdd(int64_t a, int64_t b) {
  int64_t result = 0;
  if (__builtin_add_overflow(a, b, &result)) return limitOfSign(a < 0);
  return result;
}

inline bool fitsInt32(int64_t value) {
  return value >= std::numeric_limits<int32_t>::min() &&
         value <= std::numeric_limits<int32_t>::max();
}

}  // namespace cohortix
