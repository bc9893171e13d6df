#pragma once
// Gaussian deviates by the block: the same numbers as one call of gaussianDeviate
// per value, made several times faster by drawing whole batches of polar pairs.

#include <cstddef>
#include <cstdint>

namespace cohortix {

// Writes to out the n deviates that n calls of gaussianDeviate(RandomSeed) would
// return, and leaves RandomSeed, the shuffle table and the cached deviate as those
// calls would: a cached deviate comes first, a seed <= 0 re-initialises before the
// first uniform draw, and an odd deviate left over from the last pair is cached.
void gaussianDeviates(float* out, std::size_t n, int32_t& RandomSeed);

}  // namespace cohortix
