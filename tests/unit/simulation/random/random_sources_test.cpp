#include "simulation/random/random_sources.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <numeric>
#include <vector>

#include "simulation/random/polar_method.h"
#include "simulation/random/random_state.h"

namespace cohortix {
namespace {

// Every test starts from the state at load and leaves the process as it found it.
class RandomSourcesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    saved_ = saveRandomState();
    resetRandomSources();
  }
  void TearDown() override { restoreRandomState(saved_); }

 private:
  RandomState saved_{};
};

uint32_t bitsOf(float x) { return std::bit_cast<uint32_t>(x); }

int32_t stepsFrom(int32_t s, int count) {
  for (int i = 0; i < count; ++i) s = schrageStep(s);
  return s;
}

TEST(SchrageStep, MatchesTheMinimalStandardCheckValues) {
  EXPECT_EQ(schrageStep(1), 16807);
  EXPECT_EQ(schrageStep(2147483646), 2147466840);
  EXPECT_EQ(stepsFrom(1, 10000), 1043618065);
}

TEST_F(RandomSourcesTest, FirstUniformsFromSeedMinusOne) {
  const uint32_t bits[] = {0x3ED4FDDE, 0x3DBC5817, 0x3F41A41E, 0x3F079A6F, 0x3F6E3116};
  const int32_t seeds[] = {530511967, 2110010672, 1551901393, 1617819336, 1399125485};
  int32_t seed = -1;
  for (int i = 0; i < 5; ++i) {
    EXPECT_EQ(bitsOf(uniformDeviate(seed)), bits[i]) << "draw " << i;
    EXPECT_EQ(seed, seeds[i]) << "draw " << i;
    if (i == 0) {
      const RandomState state = saveRandomState();
      EXPECT_EQ(state.ShuffleTable[0], 784558821);
      EXPECT_EQ(state.ShuffleTable[1], 2128236579);
      EXPECT_EQ(state.ShuffleTable[2], 1624379149);
      EXPECT_EQ(state.ShuffleTable[3], 1358580979);
    }
  }
}

TEST_F(RandomSourcesTest, FirstCallOfTheProcessStartsFromSeedOneForPositiveSeeds) {
  int32_t minusOne = -1;
  const float expected = uniformDeviate(minusOne);
  resetRandomSources();
  int32_t positive = 12345;
  EXPECT_EQ(bitsOf(uniformDeviate(positive)), bitsOf(expected));
  EXPECT_EQ(positive, minusOne);
}

TEST_F(RandomSourcesTest, ZeroAndMostNegativeSeedsStartFromOne) {
  int32_t minusOne = -1;
  const float expected = uniformDeviate(minusOne);
  for (int32_t start : {0, INT32_MIN}) {
    resetRandomSources();
    int32_t seed = start;
    EXPECT_EQ(bitsOf(uniformDeviate(seed)), bitsOf(expected)) << start;
    EXPECT_EQ(seed, minusOne) << start;
  }
}

// The table is filled by steps 9 .. 40 from 12345 (slot 31 first); the first draw
// returns the entry chosen by slot 0's value and generates step 41.
TEST_F(RandomSourcesTest, NegativeSeedStartsFromItsNegation) {
  int32_t seed = -12345;
  const float u = uniformDeviate(seed);
  EXPECT_EQ(seed, stepsFrom(12345, 41));
  const int32_t slot = stepsFrom(12345, 40) / 67108864;
  EXPECT_EQ(u, static_cast<float>(stepsFrom(12345, 40 - slot) * (1.0 / 2147483647.0)));
}

TEST_F(RandomSourcesTest, PositiveSeedContinuesOnceInitialised) {
  int32_t seed = -1;
  uniformDeviate(seed);
  const RandomState before = saveRandomState();
  const int32_t continued = seed;
  uniformDeviate(seed);
  EXPECT_EQ(seed, schrageStep(continued));
  EXPECT_NE(saveRandomState().LastShuffleOutput, before.ShuffleTable[0]);
}

// Table values near the modulus round to 1.0f or 0x3F7FFFFF and must come back
// as the cap; the cap itself and the float below it pass unchanged.
TEST_F(RandomSourcesTest, UniformsAtTheEndsOfTheRange) {
  const struct {
    int32_t tableValue;
    uint32_t bits;
  } cases[] = {{2147483646, 0x3F7FFFFE}, {2147483519, 0x3F7FFFFE}, {2147483391, 0x3F7FFFFE},
               {2147483263, 0x3F7FFFFD}, {1, 0x30000000}};
  for (const auto& c : cases) {
    RandomState state{};
    state.ShuffleTable[5] = c.tableValue;
    state.LastShuffleOutput = 5 * 67108864 + 12345;
    restoreRandomState(state);
    int32_t seed = 1;
    EXPECT_EQ(bitsOf(uniformDeviate(seed)), c.bits) << c.tableValue;
    EXPECT_EQ(saveRandomState().ShuffleTable[5], 16807) << c.tableValue;
  }
  EXPECT_EQ(bitsOf(static_cast<float>(2147483519 * (1.0 / 2147483647.0))), 0x3F7FFFFFu);
}

// The cap is applied by comparing floats; it must agree with the comparison of
// the widened float against the threshold 0.99999988 for every value near the top.
TEST(UniformFromTableValue, CapsExactlyWhereTheThresholdIsExceeded) {
  for (int32_t value = 2147483647 - 4096; value < 2147483647; ++value) {
    const float t = static_cast<float>(value * (1.0 / 2147483647.0));
    const float expected = static_cast<double>(t) > 0.99999988 ? 0.99999988f : t;
    ASSERT_EQ(bitsOf(uniformFromTableValue(value)), bitsOf(expected)) << value;
  }
}

TEST_F(RandomSourcesTest, FirstGaussiansFromSeedMinusOne) {
  int32_t seed = -1;
  const float expected[] = {-0.836854f, -0.172280f, 0.187118f, 1.615440f};
  for (int i = 0; i < 4; ++i) EXPECT_NEAR(gaussianDeviate(seed), expected[i], 2e-6) << i;
  // The first pair was accepted: two uniforms made the first two deviates.
  int32_t uniformSeed = -1;
  resetRandomSources();
  uniformDeviate(uniformSeed);
  uniformDeviate(uniformSeed);
  int32_t gaussianSeed = -1;
  resetRandomSources();
  gaussianDeviate(gaussianSeed);
  EXPECT_EQ(gaussianSeed, uniformSeed);
  gaussianDeviate(gaussianSeed);
  EXPECT_EQ(gaussianSeed, uniformSeed);
}

// Reseeding restarts the uniform stream but leaves a cached deviate in place:
// after an odd number of deviates, the next run starts with the leftover one.
TEST_F(RandomSourcesTest, CachedDeviateSurvivesReseeding) {
  int32_t seed = -1;
  float fresh[4];
  for (float& g : fresh) g = gaussianDeviate(seed);
  resetRandomSources();
  seed = -1;
  for (int i = 0; i < 3; ++i) gaussianDeviate(seed);
  seed = -1;
  EXPECT_EQ(bitsOf(gaussianDeviate(seed)), bitsOf(fresh[3]));
  EXPECT_EQ(bitsOf(gaussianDeviate(seed)), bitsOf(fresh[0]));
  EXPECT_EQ(bitsOf(gaussianDeviate(seed)), bitsOf(fresh[1]));
}

// The C library's generator is only advanced, never seeded: the permutation must
// be the one drawn from exactly n values of rand(), one per position.
std::vector<int32_t> referencePermutation(const std::vector<int>& draws) {
  std::vector<int32_t> list(draws.size());
  std::iota(list.begin(), list.end(), 0);
  std::vector<int32_t> out;
  for (int draw : draws) {
    const auto k = static_cast<std::size_t>(draw) % list.size();
    out.push_back(list[k]);
    list.erase(list.begin() + static_cast<std::ptrdiff_t>(k));
  }
  return out;
}

TEST(RandomPermutation, DrawsOneRandPerPositionAndUsesEveryValueOnce) {
  for (int32_t n : {1, 2, 3, 17, 100}) {
    std::srand(static_cast<unsigned>(1000 + n));
    std::vector<int> draws(static_cast<std::size_t>(n));
    for (int& d : draws) d = std::rand();
    const int next = std::rand();
    std::srand(static_cast<unsigned>(1000 + n));
    std::vector<int32_t> out(static_cast<std::size_t>(n) + 1, -7);
    randomPermutation(n, out.data());
    EXPECT_EQ(std::rand(), next) << "n = " << n;
    EXPECT_EQ(out.back(), -7) << "n = " << n;
    out.pop_back();
    EXPECT_EQ(out, referencePermutation(draws)) << "n = " << n;
    std::sort(out.begin(), out.end());
    for (int32_t i = 0; i < n; ++i) EXPECT_EQ(out[static_cast<std::size_t>(i)], i);
  }
}

TEST(RandomPermutation, NothingWrittenNorDrawnForEmptyOrNegativeCounts) {
  for (int32_t n : {0, -1, INT32_MIN}) {
    std::srand(7);
    const int next = std::rand();
    std::srand(7);
    int32_t sentinel = -7;
    randomPermutation(n, &sentinel);
    EXPECT_EQ(sentinel, -7);
    EXPECT_EQ(std::rand(), next);
  }
}

}  // namespace
}  // namespace cohortix
