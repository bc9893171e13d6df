#pragma once
// Gaussian deviates by the block: the same numbers as one call of gaussianDeviate
// per value, made several times faster by drawing whole batches of polar pairs.

#include <cstddef>
#include <cstdint>

#include "simulation/random/random_state.h"

namespace cohortix {

// Writes to out the n deviates that n calls of gaussianDeviate(state, RandomSeed)
// would return, and leaves RandomSeed and the state as those calls would: a cached
// deviate comes first, a seed <= 0 re-initialises before the first uniform draw,
// and an odd deviate left over from the last pair is cached.
void gaussianDeviates(RandomState& state, float* out, std::size_t n, int32_t& RandomSeed);
// The same from the process-wide state.
void gaussianDeviates(float* out, std::size_t n, int32_t& RandomSeed);

}  // namespace cohortix
