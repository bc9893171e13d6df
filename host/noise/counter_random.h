#pragma once
// The host's own random numbers for the noise model: Philox4x32-10 counter-based
// generation keyed by (seed, replicate, subject). Every deviate is a pure function
// of its key, its stream, its lattice site and its index, so the noise is the same
// whatever the threads and the order of work. The plug-in's generator and the C
// library's rand() are never touched.
//
// Deviate d of stream s at site (x, y, z) comes from the Philox block with counter
//   { q, (x + 32768) | (y + 32768) << 16, s, z + 32768 },  q = 8 * (d / 32) + d % 8,
// word j = (d % 32) / 8 of it. Gaussian deviates pair the words by Box-Muller:
// words 0 and 1 give deviates j = 0 (R cos theta) and j = 1 (R sin theta), words 2
// and 3 give j = 2 and j = 3, with R = sqrt(-2 ln u), u = ((a >> 9) + 1/2) / 2^23
// from the first word a of the pair (so |deviate| < 5.8) and theta = 2 pi b / 2^32
// from the second word b. Single precision; the same bits on every code path.

#include <cstddef>
#include <cstdint>

namespace cohortix::host::noise {

// What makes one subject's noise what it is.
struct NoiseKey {
  uint64_t seed = 0;
  uint32_t replicate = 0;
  uint32_t subject = 0;
  bool operator==(const NoiseKey&) const = default;
};

// The independent streams of one key.
enum class NoiseStream : uint32_t {
  Tissue = 1,
  SystemReal = 2,
  SystemImaginary = 3,
  Drift = 4,
  Global = 5,
  AnatomyVariation = 6,  // the subject's own anatomy (host/anatomy/subject_variation.h)
  HeadMotion = 7,        // the subject's head motion (host/motion/head_motion.h)
  RhythmWeights = 16,  // + rhythm index
};

// A lattice site; coordinates may lie outside the image (the margin of a smoothed
// field) but within +-32767.
struct LatticeSite {
  int32_t x = 0;
  int32_t y = 0;
  int32_t z = 0;
};

inline constexpr int32_t kMaxLatticeCoordinate = 32767;

class CounterRandom {
 public:
  explicit CounterRandom(const NoiseKey& key);

  // Standard normal deviates first .. first + count - 1 of (stream, site) into out.
  void gaussians(NoiseStream stream, LatticeSite site, uint64_t first, std::size_t count,
                 float* out) const;
  void gaussians(uint32_t stream, LatticeSite site, uint64_t first, std::size_t count,
                 float* out) const;
  // The same for `sites` sites along x from `site`, into out, out + stride, ...: one
  // call for a row keeps several Philox blocks in flight.
  void gaussianRow(uint32_t stream, LatticeSite site, int sites, uint64_t first, std::size_t count,
                   float* out, std::size_t stride) const;
  void gaussianRow(NoiseStream stream, LatticeSite site, int sites, uint64_t first, std::size_t count,
                   float* out, std::size_t stride) const {
    gaussianRow(static_cast<uint32_t>(stream), site, sites, first, count, out, stride);
  }

  // The Philox key the NoiseKey maps to (for tests that recompute deviates).
  uint32_t keyWord(int i) const { return key_[i]; }

 private:
  uint32_t key_[2];
};

// One block of 32 Gaussian deviates: Philox counters quad .. quad + 7 with word1
// (and the call's word2 and word3), into out[0 .. 32).
struct GaussianBlock {
  uint32_t quad;
  uint32_t word1;
  float* out;
};

// The raw kernel. Chooses AVX2 when the processor has it; the results are
// identical either way.
void gaussianBlocks(const uint32_t key[2], const GaussianBlock* blocks, std::size_t count,
                    uint32_t word2, uint32_t word3);
// The same on the SSE2 path, whatever the processor (for tests).
void gaussianBlocksSse2(const uint32_t key[2], const GaussianBlock* blocks, std::size_t count,
                        uint32_t word2, uint32_t word3);

}  // namespace cohortix::host::noise
