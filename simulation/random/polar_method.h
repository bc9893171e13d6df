#pragma once
// The arithmetic between a shuffle-table value and a Gaussian deviate, written
// once over lanes (float_lanes.h) and shared by the per-call and the block path,
// so that both give the same bits.

#include <cmath>
#include <cstdint>

#include "simulation/random/float_lanes.h"
#include "simulation/random/float_logarithm.h"

namespace cohortix {

inline constexpr int32_t kModulus = 2147483647;
inline constexpr double kUniformScale = 1.0 / 2147483647.0;
// A uniform deviate whose float exceeds the cap comes back as the cap, so that it
// is never 1. The floats above the cap are exactly those whose double exceeds
// the threshold 0.99999988, the cap itself being just above it.
inline constexpr double kUniformCapThreshold = 0.99999988;
inline constexpr float kUniformCap = 0.99999988f;  // 0x3F7FFFFE

namespace polar {

template <class F, class I, class D>
[[gnu::always_inline]] inline F uniformOf(I tableValue) {
  using namespace lanes;
  const F t = narrow(widen(tableValue) * kUniformScale);
  return select(t > kUniformCap, F{} + kUniformCap, t);
}

template <class F, class D>
[[gnu::always_inline]] inline F coordinateOf(F uniform) {
  using namespace lanes;
  return narrow(widen(uniform) * 2.0 - 1.0);
}

// The square of the polar method's factor, -2 ln(s) / s, from the float logarithm
// of s; the square root is taken in double and rounded to float.
template <class F, class I, class D>
[[gnu::always_inline]] inline D factorSquaredOf(F s) {
  using namespace lanes;
  return (-2.0 * widen(logarithm::logOfPositive<F, I, D>(s))) / widen(s);
}

}  // namespace polar

// The uniform deviate that a shuffle-table value stands for.
inline float uniformFromTableValue(int32_t value) {
  return polar::uniformOf<float, int32_t, double>(value);
}

// A uniform deviate mapped onto (-1, 1).
inline float polarCoordinate(float u) { return polar::coordinateOf<float, double>(u); }

// True when the pair (a, b) with a*a + b*b = s lies strictly inside the unit circle
// and off its centre.
inline bool acceptPolarPair(float s) { return s < 1.0f && s != 0.0f; }

// The factor that turns an accepted pair into two standard normal deviates:
// sqrt(-2 logFloat(s) / s), the logarithm in float, the rest in double.
inline float polarFactor(float s) {
  return static_cast<float>(std::sqrt(polar::factorSquaredOf<float, int32_t, double>(s)));
}

}  // namespace cohortix
