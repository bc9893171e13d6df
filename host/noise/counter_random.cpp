#include "host/noise/counter_random.h"

#include <Random123/philox.h>

#include <algorithm>
#include <cassert>

namespace cohortix::host::noise {

void gaussianBlocksAvx2(const uint32_t key[2], uint32_t firstQuad, uint32_t word1,
                        uint32_t word2, uint32_t word3, std::size_t blocks, float* out);

namespace {

// "nois": the tag that keeps the key derivation apart from any other use of the seed.
constexpr uint32_t kKeyTag = 0x6e6f6973u;
constexpr std::size_t kBlock = 32;

using BlockKernel = void (*)(const uint32_t*, uint32_t, uint32_t, uint32_t, uint32_t,
                             std::size_t, float*);

BlockKernel chooseKernel() {
  __builtin_cpu_init();
  return __builtin_cpu_supports("avx2") ? gaussianBlocksAvx2 : gaussianBlocksSse2;
}

uint32_t biased(int32_t coordinate) {
  assert(coordinate >= -kMaxLatticeCoordinate && coordinate <= kMaxLatticeCoordinate);
  return static_cast<uint32_t>(coordinate + 32768);
}

}  // namespace

void gaussianBlocks(const uint32_t key[2], uint32_t firstQuad, uint32_t word1, uint32_t word2,
                    uint32_t word3, std::size_t blocks, float* out) {
  static const BlockKernel kernel = chooseKernel();
  kernel(key, firstQuad, word1, word2, word3, blocks, out);
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
  if (count == 0) return;
  const uint32_t word1 = biased(site.x) | biased(site.y) << 16;
  const uint32_t word3 = biased(site.z);
  const uint64_t end = first + count;
  assert(end <= (uint64_t{1} << 34));
  uint64_t at = first;
  float partial[kBlock];
  while (at < end) {
    const uint64_t block = at / kBlock;
    const auto firstQuad = static_cast<uint32_t>(8 * block);
    const std::size_t offset = at % kBlock;
    if (offset == 0 && end - at >= kBlock) {
      const std::size_t whole = (end - at) / kBlock;
      gaussianBlocks(key_, firstQuad, word1, stream, word3, whole, out + (at - first));
      at += whole * kBlock;
      continue;
    }
    gaussianBlocks(key_, firstQuad, word1, stream, word3, 1, partial);
    const std::size_t take = std::min<uint64_t>(kBlock - offset, end - at);
    std::copy_n(partial + offset, take, out + (at - first));
    at += take;
  }
}

}  // namespace cohortix::host::noise
