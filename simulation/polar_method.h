#pragma once
// The arithmetic between a shuffle-table value and a Gaussian deviate, shared by
// the per-call and the block path so that both give the same bits.

#include <cmath>
#include <cstdint>

#include "simulation/float_logarithm.h"

namespace cohortix {

inline constexpr int32_t kModulus = 2147483647;
inline constexpr double kUniformScale = 1.0 / 2147483647.0;
// Deviates whose float exceeds the threshold come back as the cap, so that a
// uniform deviate is never 1.
inline constexpr double kUniformCapThreshold = 0.99999988;
inline constexpr float kUniformCap = 0.99999988f;  // 0x3F7FFFFE

// The uniform deviate that a shuffle-table value stands for.
inline float uniformFromTableValue(int32_t value) {
  const float t = static_cast<float>(value * kUniformScale);
  return static_cast<double>(t) > kUniformCapThreshold ? kUniformCap : t;
}

// A uniform deviate mapped onto (-1, 1).
inline float polarCoordinate(float u) {
  return static_cast<float>(2.0 * u - 1.0);
}

// True when the pair (a, b) with a*a + b*b = s lies strictly inside the unit circle
// and off its centre.
inline bool acceptPolarPair(float s) { return s < 1.0f && s != 0.0f; }

// The factor that turns an accepted pair into two standard normal deviates:
// sqrt(-2 logFloat(s) / s), the logarithm in float, the rest in double.
inline float polarFactor(float s) {
  return static_cast<float>(
      std::sqrt(logarithm::polarFactorSquared<float, int32_t, double>(s)));
}

}  // namespace cohortix
