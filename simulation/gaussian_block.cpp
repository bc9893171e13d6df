#include "simulation/gaussian_block.h"

#include <algorithm>
#include <climits>

#include "simulation/float_kernels.h"
#include "simulation/minimal_standard_lanes.h"
#include "simulation/polar_method.h"
#include "simulation/random_sources.h"
#include "simulation/random_state.h"
#include "simulation/shuffle_chain.h"

namespace cohortix {

namespace {

// Pairs drawn per batch: enough to keep every stage busy, small enough for the
// buffers to stay in the first-level cache.
constexpr std::size_t kBatchPairs = 512;

struct PolarBatch {
  int32_t generated[2 * kBatchPairs];
  int32_t tableValues[2 * kBatchPairs];
  float a[kBatchPairs];
  float b[kBatchPairs];
  float s[kBatchPairs];
  float f[kBatchPairs];
};

// Keeps the pairs inside the unit circle, in order, in a, b and s; every pair is
// written and the count moves on only for accepted ones, so there is no branch to
// mispredict.
std::size_t keepAcceptedPairs(PolarBatch& batch, std::size_t pairs) {
  std::size_t accepted = 0;
  for (std::size_t i = 0; i < pairs; ++i) {
    const float a = polarCoordinate(uniformFromTableValue(batch.tableValues[2 * i]));
    const float b = polarCoordinate(uniformFromTableValue(batch.tableValues[2 * i + 1]));
    const float s = a * a + b * b;
    batch.a[accepted] = a;
    batch.b[accepted] = b;
    batch.s[accepted] = s;
    accepted += acceptPolarPair(s) ? 1 : 0;
  }
  return accepted;
}

// Draws the given number of pairs, two uniforms each, and returns how many were
// accepted, with their factors.
std::size_t drawPairs(PolarBatch& batch, std::size_t pairs, ShuffleChain& chain,
                      int32_t& RandomSeed) {
  const std::size_t draws = 2 * pairs;
  minimalStandardStates(RandomSeed, batch.generated, draws);
  RandomSeed = batch.generated[draws - 1];
  chain.draw(batch.generated, batch.tableValues, draws);
  const std::size_t accepted = keepAcceptedPairs(batch, pairs);
  polarFactors(batch.s, batch.f, accepted);
  return accepted;
}

// Writes the deviates of the accepted pairs, the second coordinate's first; when
// out has no room for the last one, it is cached as the next call would find it.
std::size_t writeDeviates(const PolarBatch& batch, std::size_t accepted, float* out,
                          std::size_t room, RandomState& state) {
  std::size_t written = 0;
  for (std::size_t i = 0; i < accepted; ++i) {
    out[written++] = batch.b[i] * batch.f[i];
    state.CachedDeviate = batch.a[i] * batch.f[i];
    if (written < room)
      out[written++] = state.CachedDeviate;
    else
      state.HasCachedDeviate = 1;
  }
  return written;
}

// No pair is drawn beyond the last one needed: a batch never has more pairs than
// deviates still wanted, halved, and a pair gives at most two.
void drawDeviates(float* out, std::size_t n, int32_t& RandomSeed, RandomState& state) {
  if (needsReinitialisation(state, RandomSeed)) reinitialise(state, RandomSeed);
  ShuffleChain chain(state);
  PolarBatch batch;
  std::size_t written = 0;
  while (written < n) {
    const std::size_t pairs = std::min((n - written + 1) / 2, kBatchPairs);
    const std::size_t accepted = drawPairs(batch, pairs, chain, RandomSeed);
    written += writeDeviates(batch, accepted, out + written, n - written, state);
  }
  chain.storeInto(state);
}

}  // namespace

void gaussianDeviates(float* out, std::size_t n, int32_t& RandomSeed) {
  std::size_t written = 0;
  // A cached deviate comes first; a seed at the modulus lies outside the
  // generator's cycle and takes one call to come back into it.
  while (written < n &&
         (saveRandomState().HasCachedDeviate != 0 || RandomSeed == INT32_MAX))
    out[written++] = gaussianDeviate(RandomSeed);
  if (written == n) return;
  RandomState state = saveRandomState();
  drawDeviates(out + written, n - written, RandomSeed, state);
  restoreRandomState(state);
}

}  // namespace cohortix
