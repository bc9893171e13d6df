// The block kernels for processors with AVX2, compiled for AVX2 function by
// function, so that the library still loads and runs on any x86-64 processor.
// No FMA: the bits must stay those of the plain functions.

// Every vector helper here is internal and inlined: the ABI for passing 32-byte
// vectors between functions never comes into play.
#pragma GCC diagnostic ignored "-Wpsabi"

#include <immintrin.h>

#include <cstdint>
#include <cstring>

#include "simulation/random/block_kernels.h"
#include "simulation/random/float_lanes.h"
#include "simulation/random/minimal_standard_lanes.h"
#include "simulation/random/polar_method.h"

namespace cohortix {
namespace {

typedef uint64_t Uint64x4 __attribute__((vector_size(32)));

[[gnu::target("avx2"), gnu::always_inline]] inline Uint64x4 multiplyLow32(Uint64x4 a,
                                                                          Uint64x4 b) {
  return reinterpret_cast<Uint64x4>(
      _mm256_mul_epu32(reinterpret_cast<__m256i>(a), reinterpret_cast<__m256i>(b)));
}

[[gnu::target("avx2"), gnu::always_inline]] inline lanes::Double4 squareRoot(
    lanes::Double4 q) {
  return reinterpret_cast<lanes::Double4>(_mm256_sqrt_pd(reinterpret_cast<__m256d>(q)));
}

}  // namespace
}  // namespace cohortix

#define BLOCK_KERNEL [[gnu::target("avx2")]]
#include "simulation/random/block_kernel_bodies.h"

namespace cohortix {

const BlockKernels* avx2BlockKernels() {
  static constexpr BlockKernels kernels{"avx2", logarithms, polarFactors,
                                        polarPairs, polarDeviates};
  __builtin_cpu_init();
  return __builtin_cpu_supports("avx2") ? &kernels : nullptr;
}

}  // namespace cohortix
