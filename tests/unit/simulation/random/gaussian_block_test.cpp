#include "simulation/random/gaussian_block.h"

#include <gtest/gtest.h>

#include <bit>
#include <climits>
#include <string>
#include <vector>

#include "simulation/random/block_kernels.h"
#include "simulation/random/random_sources.h"
#include "simulation/random/random_state.h"

namespace cohortix {
namespace {

struct Outcome {
  std::vector<uint32_t> bits;
  int32_t seed;
  RandomState state;
};

std::vector<uint32_t> bitsOf(const std::vector<float>& values) {
  std::vector<uint32_t> bits;
  for (float value : values) bits.push_back(std::bit_cast<uint32_t>(value));
  return bits;
}

// n deviates from the given state and seed, one call each or in one block.
Outcome perCall(const RandomState& start, int32_t seed, std::size_t n) {
  restoreRandomState(start);
  std::vector<float> out(n);
  for (float& g : out) g = gaussianDeviate(seed);
  return {bitsOf(out), seed, saveRandomState()};
}

Outcome inBlock(const RandomState& start, int32_t seed, std::size_t n) {
  restoreRandomState(start);
  std::vector<float> out(n + 1, -99.0f);
  gaussianDeviates(out.data(), n, seed);
  EXPECT_EQ(out[n], -99.0f) << "written beyond " << n;
  out.pop_back();
  return {bitsOf(out), seed, saveRandomState()};
}

void expectSameOutcome(const Outcome& expected, const Outcome& actual, const std::string& what) {
  ASSERT_EQ(expected.bits.size(), actual.bits.size()) << what;
  for (std::size_t i = 0; i < expected.bits.size(); ++i)
    ASSERT_EQ(expected.bits[i], actual.bits[i]) << what << ": deviate " << i;
  EXPECT_EQ(expected.seed, actual.seed) << what;
  const RandomState& e = expected.state;
  const RandomState& a = actual.state;
  for (int j = 0; j < kShuffleTableSize; ++j)
    EXPECT_EQ(e.ShuffleTable[j], a.ShuffleTable[j]) << what << ": slot " << j;
  EXPECT_EQ(e.LastShuffleOutput, a.LastShuffleOutput) << what;
  EXPECT_EQ(e.HasCachedDeviate, a.HasCachedDeviate) << what;
  EXPECT_EQ(std::bit_cast<uint32_t>(e.CachedDeviate), std::bit_cast<uint32_t>(a.CachedDeviate))
      << what;
}

std::vector<const BlockKernels*> everyKernelSet() {
  std::vector<const BlockKernels*> sets{&genericBlockKernels()};
  if (const BlockKernels* avx2 = avx2BlockKernels()) sets.push_back(avx2);
  return sets;
}

// Runs every test with each instruction set's kernels in turn, and leaves the
// random sources and the kernel choice as it found them.
class GaussianBlockTest : public ::testing::Test {
 protected:
  void SetUp() override {
    saved_ = saveRandomState();
    resetRandomSources();
  }
  void TearDown() override {
    restoreRandomState(saved_);
    chooseBlockKernels(*everyKernelSet().back());
  }

  // States on entry: fresh from load, initialised without and with a cached
  // deviate, and seeds asking for re-initialisation or outside the cycle.
  struct Start {
    std::string name;
    RandomState state;
    int32_t seed;
  };
  std::vector<Start> starts() {
    std::vector<Start> result;
    resetRandomSources();
    result.push_back({"fresh, seed -1", saveRandomState(), -1});
    result.push_back({"fresh, seed 12345", saveRandomState(), 12345});
    int32_t seed = -7;
    gaussianDeviate(seed);
    gaussianDeviate(seed);
    result.push_back({"no cached deviate", saveRandomState(), seed});
    result.push_back({"no cached deviate, seed 0", saveRandomState(), 0});
    result.push_back({"no cached deviate, seed at the modulus", saveRandomState(), INT32_MAX});
    gaussianDeviate(seed);
    result.push_back({"cached deviate", saveRandomState(), seed});
    result.push_back({"cached deviate, seed -1", saveRandomState(), -1});
    result.push_back({"cached deviate, seed at the modulus", saveRandomState(), INT32_MAX});
    return result;
  }

 private:
  RandomState saved_{};
};

TEST_F(GaussianBlockTest, EqualsOneCallPerDeviateForEverySizeAndEntryState) {
  std::vector<std::size_t> sizes;
  for (std::size_t n = 0; n <= 40; ++n) sizes.push_back(n);
  for (std::size_t n : {511, 512, 513, 1023, 1024, 1025, 1026, 1535, 2049, 4097, 12345})
    sizes.push_back(n);
  for (const Start& start : starts()) {
    for (std::size_t n : sizes) {
      const Outcome expected = perCall(start.state, start.seed, n);
      for (const BlockKernels* kernels : everyKernelSet()) {
        chooseBlockKernels(*kernels);
        expectSameOutcome(expected, inBlock(start.state, start.seed, n),
                          std::string(kernels->name) + ", " + start.name + ", n = " +
                              std::to_string(n));
      }
    }
  }
}

TEST_F(GaussianBlockTest, EqualsOneCallPerDeviateOverTenMillionDeviates) {
  const std::size_t n = 10'000'000;
  const RandomState fresh = saveRandomState();
  const Outcome expected = perCall(fresh, -1, n);
  for (const BlockKernels* kernels : everyKernelSet()) {
    chooseBlockKernels(*kernels);
    expectSameOutcome(expected, inBlock(fresh, -1, n), kernels->name);
  }
}

// Blocks of odd sizes one after another hand the cached deviate on to each other
// and to single calls in between.
TEST_F(GaussianBlockTest, SuccessiveBlocksContinueOneStream) {
  const RandomState fresh = saveRandomState();
  const std::size_t sizes[] = {1, 3, 0, 7, 511, 1, 1, 2, 1025, 5, 3, 99};
  std::size_t total = 0;
  for (std::size_t n : sizes) total += n + 1;
  const Outcome expected = perCall(fresh, -1, total);
  for (const BlockKernels* kernels : everyKernelSet()) {
    chooseBlockKernels(*kernels);
    restoreRandomState(fresh);
    int32_t seed = -1;
    std::vector<float> out;
    for (std::size_t n : sizes) {
      std::vector<float> block(n);
      gaussianDeviates(block.data(), n, seed);
      out.insert(out.end(), block.begin(), block.end());
      out.push_back(gaussianDeviate(seed));
    }
    expectSameOutcome(expected, {bitsOf(out), seed, saveRandomState()}, kernels->name);
  }
}

// A copy of the process-wide state drawn from on its own gives the numbers the
// process-wide functions give, ends in the state they end in, and never touches
// the process-wide state while it draws.
TEST_F(GaussianBlockTest, AStateOfItsOwnContinuesTheProcessStreamWithoutTouchingIt) {
  const std::size_t blocks[] = {1, 17, 0, 4096, 3, 255};
  for (const Start& start : starts()) {
    restoreRandomState(start.state);
    int32_t seed = start.seed;
    std::vector<float> expected;
    for (std::size_t n : blocks) {
      expected.push_back(uniformDeviate(seed));
      expected.push_back(gaussianDeviate(seed));
      std::vector<float> block(n);
      gaussianDeviates(block.data(), n, seed);
      expected.insert(expected.end(), block.begin(), block.end());
    }
    const Outcome processWide{bitsOf(expected), seed, saveRandomState()};

    resetRandomSources();
    const RandomState untouched = saveRandomState();
    RandomState own = start.state;
    int32_t ownSeed = start.seed;
    std::vector<float> drawn;
    for (std::size_t n : blocks) {
      drawn.push_back(uniformDeviate(own, ownSeed));
      drawn.push_back(gaussianDeviate(own, ownSeed));
      std::vector<float> block(n);
      gaussianDeviates(own, block.data(), n, ownSeed);
      drawn.insert(drawn.end(), block.begin(), block.end());
    }
    expectSameOutcome(processWide, {bitsOf(drawn), ownSeed, own}, start.name);
    expectSameOutcome({{}, 0, untouched}, {{}, 0, saveRandomState()}, "process-wide state");
  }
}

}  // namespace
}  // namespace cohortix
