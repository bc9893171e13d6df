// The block kernels for every x86-64 processor (SSE2).

// Every vector helper here is internal and inlined: the ABI for passing 32-byte
// vectors between functions never comes into play.
#pragma GCC diagnostic ignored "-Wpsabi"

#include <emmintrin.h>

#include <cstdint>
#include <cstring>

#include "simulation/random/block_kernels.h"
#include "simulation/random/float_lanes.h"
#include "simulation/random/minimal_standard_lanes.h"
#include "simulation/random/polar_method.h"

namespace cohortix {
namespace {

typedef uint64_t Uint64x4 __attribute__((vector_size(32)));

// The products of the low 32 bits of every 64-bit lane, two lanes at a time.
[[gnu::always_inline]] inline Uint64x4 multiplyLow32(Uint64x4 a, Uint64x4 b) {
  __m128i x[2], y[2];
  std::memcpy(x, &a, sizeof a);
  std::memcpy(y, &b, sizeof b);
  x[0] = _mm_mul_epu32(x[0], y[0]);
  x[1] = _mm_mul_epu32(x[1], y[1]);
  std::memcpy(&a, x, sizeof a);
  return a;
}

[[gnu::always_inline]] inline lanes::Double4 squareRoot(lanes::Double4 q) {
  __m128d halves[2];
  std::memcpy(halves, &q, sizeof q);
  halves[0] = _mm_sqrt_pd(halves[0]);
  halves[1] = _mm_sqrt_pd(halves[1]);
  std::memcpy(&q, halves, sizeof q);
  return q;
}

}  // namespace
}  // namespace cohortix

#define BLOCK_KERNEL
#include "simulation/random/block_kernel_bodies.h"

namespace cohortix {

const BlockKernels& genericBlockKernels() {
  static constexpr BlockKernels kernels{"sse2", logarithms, polarFactors,
                                        polarPairs, polarDeviates};
  return kernels;
}

}  // namespace cohortix
