#pragma once
// The working storage of one batch of polar pairs in the block path.

#include <cstddef>
#include <cstdint>

namespace cohortix {

// Pairs per batch: enough to keep every stage busy, few enough for the buffers to
// stay in the first-level cache.
inline constexpr std::size_t kBatchPairs = 512;

struct PolarBatch {
  // Generator states, two per pair, made sixteen at a time.
  int32_t generated[2 * kBatchPairs + 16];
  int32_t tableValues[2 * kBatchPairs];  // what the shuffle table returns for them
  float pairs[2 * kBatchPairs];          // the accepted pairs, a then b, in order
};

}  // namespace cohortix
