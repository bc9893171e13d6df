#pragma once
// The minimal-standard generator's states computed ahead in independent lanes
// (the block kernels' generatorStates): lane j holds every state whose position is
// j modulo the lane count, and a lane moves on by the multiplier raised to that
// count. The lanes share no dependency, so a processor advances them all at once.

#include <array>
#include <cstddef>
#include <cstdint>

namespace cohortix {

namespace generator {

inline constexpr std::size_t kLanes = 16;
inline constexpr uint64_t kModulus = 2147483647;

// a * b mod 2^31 - 1 for a, b in 1 .. 2^31 - 2, folding the high bits onto the low
// ones twice; the result is never 0 nor the modulus, the modulus being prime.
constexpr uint32_t multiplyModulo(uint64_t a, uint64_t b) {
  uint64_t x = a * b;
  x = (x & kModulus) + (x >> 31);
  x = (x & kModulus) + (x >> 31);
  return static_cast<uint32_t>(x);
}

// 16807^(j + 1) mod p for every lane j; the last one moves a lane on by kLanes steps.
inline constexpr std::array<uint32_t, kLanes> kLanePowers = [] {
  std::array<uint32_t, kLanes> powers{};
  uint32_t power = 1;
  for (uint32_t& p : powers) p = power = multiplyModulo(power, 16807);
  return powers;
}();

}  // namespace generator

}  // namespace cohortix
