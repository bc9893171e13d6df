#include "host/noise/counter_random.h"

#include <Random123/philox.h>

#include <algorithm>
#include <cassert>

namespace cohortix::host::noise {

void gaussianBlocksAvx2(const uint32_t key[2], const GaussianBlock* blocks, std::size_t count,
                        uint32_t word2, uint32_t word3);

namespace {

// "nois": the tag that keeps the key derivation apart from any other use of the seed.
constexpr uint32_t kKeyTag = 0x6e6f6973u;
constexpr std::size_t kBlock = 32;

using BlockKernel = void (*)(const uint32_t*, const GaussianBlock*, std::size_t, uint32_t, uint32_t);
constexpr std::size_t kBatch = 64;

BlockKernel chooseKernel() {
  __builtin_cpu_init();
  return __builtin_cpu_supports("avx2") ? gaussianBlocksAvx2 : gaussianBlocksSse2;
}

uint32_t biased(int32_t coordinate) {
  assert(coordinate >= -kMaxLatticeCoordinate && coordinate <= kMaxLatticeCoordinate);
  return static_cast<uint32_t>(coordinate + 32768);
}

}  // namespace

void gaussianBlocks(const uint32_t key[2], const GaussianBlock* blocks, std::size_t count,
                    uint32_t word2, uint32_t word3) {
  static const BlockKernel kernel = chooseKernel();
  kernel(key, blocks, count, word2, word3);
}

// The key is itself a Philox block: the seed keys it, the replicate and the subject
// are its counter. Nearby seeds, replicates and subjects thus give unrelated keys.
CounterRandom::CounterRandom(const NoiseKey& key) {
  const r123::Philox4x32::key_type seedKey = {
      {static_cast<uint32_t>(key.seed), static_cast<uint32_t>(key.seed >> 32)}};
  const r123::Philox4x32::ctr_type counter = {{key.replicate, key.subject, kKeyTag, 0u}};
  const r123::Philox4x32::ctr_type mixed = r123::Philox4x32()(counter, seedKey);
  key_[0] = mixed[0];
  key_[1] = mixed[1];
}

void CounterRandom::gaussians(NoiseStream stream, LatticeSite site, uint64_t first,
                              std::size_t count, float* out) const {
  gaussians(static_cast<uint32_t>(stream), site, first, count, out);
}

void CounterRandom::gaussians(uint32_t stream, LatticeSite site, uint64_t first,
                              std::size_t count, float* out) const {
  gaussianRow(stream, site, 1, first, count, out, count);
}

// Whole blocks go straight to their place; a block the range cuts goes through
// scratch and only its part in the range is copied.
void CounterRandom::gaussianRow(uint32_t stream, LatticeSite site, int sites, uint64_t first,
                                std::size_t count, float* out, std::size_t stride) const {
  if (count == 0) return;
  const uint64_t end = first + count;
  assert(end <= (uint64_t{1} << 34));
  const uint32_t word3 = biased(site.z);
  GaussianBlock blocks[kBatch];
  float scratch[kBatch][kBlock];
  struct Cut {
    float* to;
    std::size_t from, count, block;
  } cuts[kBatch];
  std::size_t used = 0, cutCount = 0;
  const auto flush = [&] {
    gaussianBlocks(key_, blocks, used, stream, word3);
    for (std::size_t c = 0; c < cutCount; ++c)
      std::copy_n(scratch[cuts[c].block] + cuts[c].from, cuts[c].count, cuts[c].to);
    used = cutCount = 0;
  };
  for (int i = 0; i < sites; ++i) {
    const uint32_t word1 = biased(site.x + i) | biased(site.y) << 16;
    float* const row = out + static_cast<std::size_t>(i) * stride;
    for (uint64_t at = first; at < end;) {
      const uint64_t block = at / kBlock;
      const std::size_t offset = at % kBlock;
      const std::size_t take = std::min<uint64_t>(kBlock - offset, end - at);
      float* const to = row + (at - first);
      if (offset == 0 && take == kBlock) {
        blocks[used] = {static_cast<uint32_t>(8 * block), word1, to};
      } else {
        blocks[used] = {static_cast<uint32_t>(8 * block), word1, scratch[used]};
        cuts[cutCount++] = {to, offset, take, used};
      }
      if (++used == kBatch) flush();
      at += take;
    }
  }
  if (used > 0) flush();
}

}  // namespace cohortix::host::noise
