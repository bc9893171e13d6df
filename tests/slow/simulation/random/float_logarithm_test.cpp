// Every float in (0, 1): the logarithm within one ulp of the exact value, and every
// batch kernel giving the plain function's bits, for the logarithm and for the
// polar factor built on it.

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <iostream>
#include <vector>

#include "simulation/random/block_kernels.h"
#include "simulation/random/polar_method.h"
#include "simulation/random/random_sources.h"

namespace cohortix {
namespace {

constexpr uint32_t kOneBits = 0x3F800000;
constexpr uint32_t kChunk = 1u << 16;

// Calls check(x, n) for consecutive chunks of every positive float below 1.
template <class Check>
void forEveryFloatBelowOne(Check check) {
  std::vector<float> x(kChunk);
  for (uint32_t first = 1; first < kOneBits; first += kChunk) {
    const uint32_t n = std::min(kChunk, kOneBits - first);
    for (uint32_t i = 0; i < n; ++i) x[i] = std::bit_cast<float>(first + i);
    check(x.data(), n);
  }
}

// The distance from y to the exact logarithm, in ulps of the float binade that the
// exact value lies in; the double logarithm stands for the exact value.
double ulpError(float y, float x) {
  const double exact = std::log(static_cast<double>(x));
  int exponent = 0;
  std::frexp(exact, &exponent);
  return std::fabs(static_cast<double>(y) - exact) / std::ldexp(1.0, exponent - 24);
}

TEST(FloatLogarithmExhaustive, WithinOneUlpForEveryFloatBelowOne) {
  double worst = 0.0;
  float worstAt = 0.0f;
  uint64_t notNearest = 0;
  forEveryFloatBelowOne([&](const float* x, uint32_t n) {
    for (uint32_t i = 0; i < n; ++i) {
      const double error = ulpError(logFloat(x[i]), x[i]);
      if (error > 0.5) ++notNearest;
      if (error > worst) {
        worst = error;
        worstAt = x[i];
      }
    }
  });
  std::cout << "largest error " << worst << " ulp at " << worstAt << "; " << notNearest
            << " results not the nearest float\n";
  EXPECT_LT(worst, 1.0) << "at x = " << worstAt;
}

std::vector<const BlockKernels*> everyKernelSet() {
  std::vector<const BlockKernels*> sets{&genericBlockKernels()};
  if (const BlockKernels* avx2 = avx2BlockKernels()) sets.push_back(avx2);
  return sets;
}

TEST(FloatKernelsExhaustive, EveryKernelGivesThePlainBitsForEveryFloatBelowOne) {
  std::vector<float> out(kChunk);
  for (const BlockKernels* kernels : everyKernelSet()) {
    uint64_t logMismatches = 0, factorMismatches = 0;
    forEveryFloatBelowOne([&](const float* x, uint32_t n) {
      kernels->logarithms(x, out.data(), n);
      for (uint32_t i = 0; i < n; ++i)
        logMismatches += std::bit_cast<uint32_t>(out[i]) != std::bit_cast<uint32_t>(logFloat(x[i]));
      kernels->polarFactors(x, out.data(), n);
      for (uint32_t i = 0; i < n; ++i)
        factorMismatches +=
            std::bit_cast<uint32_t>(out[i]) != std::bit_cast<uint32_t>(polarFactor(x[i]));
    });
    EXPECT_EQ(logMismatches, 0u) << kernels->name;
    EXPECT_EQ(factorMismatches, 0u) << kernels->name;
  }
}

}  // namespace
}  // namespace cohortix
