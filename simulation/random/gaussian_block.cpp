#include "simulation/random/gaussian_block.h"

#include <algorithm>
#include <climits>

#include "simulation/random/block_kernels.h"
#include "simulation/random/polar_batch.h"
#include "simulation/random/random_sources.h"
#include "simulation/random/shuffle_chain.h"

namespace cohortix {

namespace {

// Below this many deviates, one call each is faster than setting up the block
// path; within it, below kSmallestBatch, faster than one more batch.
constexpr std::size_t kSmallestBlock = 16;
constexpr std::size_t kSmallestBatch = 4;

// Draws the given number of pairs, two uniforms each, writes the deviates of the
// accepted ones to out and returns how many. The last pair's first deviate is
// left as the cached value, as the calls would leave it, though not pending.
std::size_t drawPairs(PolarBatch& batch, std::size_t pairs, ShuffleChain& chain,
                      int32_t& RandomSeed, float* out, RandomState& state) {
  const BlockKernels& kernels = blockKernels();
  const std::size_t accepted = kernels.polarPairs(chain, batch, pairs, RandomSeed);
  if (accepted == 0) return 0;
  kernels.polarDeviates(batch.pairs, accepted, out);
  state.CachedDeviate = out[2 * accepted - 1];
  return 2 * accepted;
}

// Draws deviates by the batch while at least kSmallestBatch are wanted and
// returns how many it wrote. No pair is drawn beyond the last one needed: a batch
// has at most half as many pairs as deviates are still wanted, and a pair gives
// two, so nothing is left over to cache.
std::size_t drawDeviates(float* out, std::size_t n, int32_t& RandomSeed, RandomState& state) {
  if (needsReinitialisation(state, RandomSeed)) reinitialise(state, RandomSeed);
  ShuffleChain chain(state);
  PolarBatch batch;
  std::size_t written = 0;
  while (n - written >= kSmallestBatch) {
    const std::size_t pairs = std::min((n - written) / 2, kBatchPairs);
    written += drawPairs(batch, pairs, chain, RandomSeed, out + written, state);
  }
  chain.storeInto(state);
  return written;
}

}  // namespace

// A cached deviate comes first, and a seed at the modulus, outside the
// generator's cycle, takes one call to come back into it. The last few deviates,
// odd ones included, come from single calls, which cache as they should.
void gaussianDeviates(RandomState& state, float* out, std::size_t n, int32_t& RandomSeed) {
  std::size_t written = 0;
  while (written < n && (state.HasCachedDeviate != 0 || RandomSeed == INT32_MAX))
    out[written++] = gaussianDeviate(state, RandomSeed);
  if (n - written >= kSmallestBlock)
    written += drawDeviates(out + written, n - written, RandomSeed, state);
  while (written < n) out[written++] = gaussianDeviate(state, RandomSeed);
}

void gaussianDeviates(float* out, std::size_t n, int32_t& RandomSeed) {
  gaussianDeviates(processRandomState(), out, n, RandomSeed);
}

}  // namespace cohortix
