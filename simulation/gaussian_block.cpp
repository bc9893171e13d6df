#include "simulation/gaussian_block.h"

#include <algorithm>
#include <climits>
#include <cstring>

#include "simulation/block_kernels.h"
#include "simulation/polar_batch.h"
#include "simulation/random_sources.h"
#include "simulation/random_state.h"
#include "simulation/shuffle_chain.h"

namespace cohortix {

namespace {

// Draws the given number of pairs, two uniforms each, and writes the deviates of
// the accepted ones to out, returning how many; when out has no room for the last
// one, it is cached as the next call would find it.
std::size_t drawPairs(PolarBatch& batch, std::size_t pairs, ShuffleChain& chain,
                      int32_t& RandomSeed, float* out, std::size_t room, RandomState& state) {
  const BlockKernels& kernels = blockKernels();
  const std::size_t accepted = kernels.polarPairs(chain, batch, pairs, RandomSeed);
  if (accepted == 0) return 0;
  const std::size_t made = 2 * accepted;
  float* const deviates = made <= room ? out : batch.deviates;
  kernels.polarDeviates(batch.pairs, accepted, deviates);
  state.CachedDeviate = deviates[made - 1];
  if (made <= room) return made;
  std::memcpy(out, batch.deviates, room * sizeof(float));
  state.HasCachedDeviate = 1;
  return room;
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
    written += drawPairs(batch, pairs, chain, RandomSeed, out + written, n - written, state);
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
