#pragma once
// 64-bit arithmetic that sticks at the int64 limits instead of wrapping, so a count
// far beyond 32 bits still reads as far beyond 32 bits when it is checked.

#include <cstdint>
#include <limits>

namespace cohortix {

inline int64_t saturated(bool overflowed, int64_t result, bool negative) {
  if (!overflowed) return result;
  return negative ? std::numeric_limits<int64_t>::min() : std::numeric_limits<int64_t>::max();
}

inline int64_t wideMul(int64_t a, int64_t b) {
  int64_t result = 0;
  return saturated(__builtin_mul_overflow(a, b, &result), result, (a < 0) != (b < 0));
}

inline int64_t wideAdd(int64_t a, int64_t b) {
  int64_t result = 0;
  return saturated(__builtin_add_overflow(a, b, &result), result, a < 0);
}

inline bool fitsInt32(int64_t value) {
  return value >= std::numeric_limits<int32_t>::min() &&
         value <= std::numeric_limits<int32_t>::max();
}

}  // namespace cohortix
