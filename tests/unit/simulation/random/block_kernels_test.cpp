#include <gtest/gtest.h>

#include <bit>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <vector>

#include "simulation/random/block_kernels.h"
#include "simulation/random/polar_method.h"
#include "simulation/random/random_sources.h"

namespace cohortix {
namespace {

uint32_t bitsOf(float x) { return std::bit_cast<uint32_t>(x); }

TEST(LogFloat, SpecialArgumentsGiveTheCLibraryResults) {
  EXPECT_EQ(logFloat(0.0f), -HUGE_VALF);
  EXPECT_EQ(logFloat(-0.0f), -HUGE_VALF);
  EXPECT_TRUE(std::isnan(logFloat(-1.0f)));
  EXPECT_TRUE(std::isnan(logFloat(-HUGE_VALF)));
  EXPECT_TRUE(std::isnan(logFloat(std::nanf(""))));
  EXPECT_EQ(logFloat(HUGE_VALF), HUGE_VALF);
  EXPECT_EQ(bitsOf(logFloat(1.0f)), 0u);
}

TEST(LogFloat, NearestFloatAtKnownValues) {
  EXPECT_EQ(logFloat(0.5f), static_cast<float>(-0.6931471805599453));
  EXPECT_EQ(logFloat(2.0f), static_cast<float>(0.6931471805599453));
  EXPECT_EQ(logFloat(0x1p-149f), static_cast<float>(-103.27892990343185));
  EXPECT_EQ(logFloat(FLT_MIN), static_cast<float>(-87.33654475055310));
  EXPECT_EQ(logFloat(FLT_MAX), static_cast<float>(88.72283905206835));
  EXPECT_EQ(logFloat(std::nextafter(1.0f, 0.0f)), static_cast<float>(-5.960464655174746e-08));
}

// Below one every float is checked by the slow tests; above it a sample.
TEST(LogFloat, WithinOneUlpAboveOne) {
  for (uint32_t bits = 0x3F800000; bits < 0x7F800000; bits += 997) {
    const float x = std::bit_cast<float>(bits);
    const double exact = std::log(static_cast<double>(x));
    int exponent = 0;
    std::frexp(exact, &exponent);
    ASSERT_LT(std::fabs(logFloat(x) - exact), std::ldexp(1.0, exponent - 24)) << x;
  }
}

std::vector<const BlockKernels*> everyKernelSet() {
  std::vector<const BlockKernels*> sets{&genericBlockKernels()};
  if (const BlockKernels* avx2 = avx2BlockKernels()) sets.push_back(avx2);
  return sets;
}

// A sample of (0, 1), subnormals included, in every length up to two vectors and
// a remainder, so that every kernel's tail is used.
TEST(BlockKernels, EveryKernelGivesThePlainBits) {
  std::vector<float> x;
  for (uint32_t bits = 1; bits < 0x3F800000; bits += 4099) x.push_back(std::bit_cast<float>(bits));
  std::vector<float> out(x.size());
  for (const BlockKernels* kernels : everyKernelSet()) {
    for (std::size_t n : {x.size(), std::size_t{0}, std::size_t{1}, std::size_t{3},
                          std::size_t{5}, std::size_t{9}}) {
      kernels->logarithms(x.data(), out.data(), n);
      for (std::size_t i = 0; i < n; ++i)
        ASSERT_EQ(bitsOf(out[i]), bitsOf(logFloat(x[i]))) << kernels->name << " at " << x[i];
      kernels->polarFactors(x.data(), out.data(), n);
      for (std::size_t i = 0; i < n; ++i)
        ASSERT_EQ(bitsOf(out[i]), bitsOf(polarFactor(x[i]))) << kernels->name << " at " << x[i];
    }
  }
}

}  // namespace
}  // namespace cohortix
