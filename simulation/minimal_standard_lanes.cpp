#include "simulation/minimal_standard_lanes.h"

#include <array>

#include "simulation/polar_method.h"

namespace cohortix {

namespace {

constexpr std::size_t kLanes = 8;
constexpr uint64_t kModulus64 = kModulus;

// a * b mod 2^31 - 1 for a, b in 1 .. 2^31 - 2, folding the high bits onto the low
// ones twice; the result is never 0 nor the modulus, the modulus being prime.
constexpr uint32_t multiplyModulo(uint64_t a, uint64_t b) {
  uint64_t x = a * b;
  x = (x & kModulus64) + (x >> 31);
  x = (x & kModulus64) + (x >> 31);
  return static_cast<uint32_t>(x);
}

// 16807^(j + 1) mod p for every lane j; the last one moves a lane on by kLanes steps.
constexpr std::array<uint32_t, kLanes> kLanePowers = [] {
  std::array<uint32_t, kLanes> powers{};
  uint32_t power = 1;
  for (uint32_t& p : powers) p = power = multiplyModulo(power, 16807);
  return powers;
}();

}  // namespace

void minimalStandardStates(int32_t s, int32_t* out, std::size_t n) {
  uint32_t lanes[kLanes];
  for (std::size_t j = 0; j < kLanes; ++j)
    lanes[j] = multiplyModulo(static_cast<uint32_t>(s), kLanePowers[j]);
  std::size_t k = 0;
  for (; k + kLanes <= n; k += kLanes) {
    for (std::size_t j = 0; j < kLanes; ++j) {
      out[k + j] = static_cast<int32_t>(lanes[j]);
      lanes[j] = multiplyModulo(lanes[j], kLanePowers[kLanes - 1]);
    }
  }
  for (std::size_t j = 0; k < n; ++k, ++j) out[k] = static_cast<int32_t>(lanes[j]);
}

}  // namespace cohortix
