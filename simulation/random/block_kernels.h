#pragma once
// The vectorised stages of the block path, one set per instruction set. Every set
// gives the bits of the plain functions: they run the same operations, only more
// values at a time.

#include <cstddef>
#include <cstdint>

#include "simulation/random/polar_batch.h"
#include "simulation/random/shuffle_chain.h"

namespace cohortix {

struct BlockKernels {
  const char* name;
  // out[i] = logFloat(x[i]) for x[i] positive and finite.
  void (*logarithms)(const float* x, float* out, std::size_t n);
  // out[i] = polarFactor(s[i]) for s[i] in (0, 1).
  void (*polarFactors)(const float* s, float* out, std::size_t n);
  // Draws the given number of pairs through the chain, generating their states
  // from RandomSeed (in 1 .. 2147483646) and leaving it at the last one, and
  // keeps the accepted pairs in order in batch.pairs; returns their count.
  std::size_t (*polarPairs)(ShuffleChain& chain, PolarBatch& batch, std::size_t pairs,
                            int32_t& RandomSeed);
  // The 2 * count deviates of count accepted pairs: b*f, a*f for each.
  void (*polarDeviates)(const float* pairs, std::size_t count, float* out);
};

// SSE2: every x86-64 processor.
const BlockKernels& genericBlockKernels();
// AVX2; null when this processor lacks it.
const BlockKernels* avx2BlockKernels();

// The fastest set that this processor runs, chosen at the first call.
const BlockKernels& blockKernels();

// Makes blockKernels() return the given set from now on, for tests and benchmarks
// that compare the sets.
void chooseBlockKernels(const BlockKernels& kernels);

}  // namespace cohortix
