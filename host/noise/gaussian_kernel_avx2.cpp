// The Gaussian block kernel on eight AVX2 lanes, compiled for AVX2 here alone and
// called only when the processor has it. No FMA: the bits match the SSE2 path.

#include <immintrin.h>

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "host/noise/counter_random.h"

#pragma GCC push_options
#pragma GCC target("avx2")

#include "host/noise/gaussian_kernel.h"

namespace cohortix::host::noise {
namespace {

struct Avx2Lanes {
  typedef uint32_t U __attribute__((vector_size(32)));
  typedef int32_t I __attribute__((vector_size(32)));
  typedef float F __attribute__((vector_size(32)));
  static constexpr int kLanes = 8;

  static U mulHigh(U a, uint32_t multiplier) {
    const __m256i m = _mm256_set1_epi32(static_cast<int>(multiplier));
    const __m256i even = _mm256_mul_epu32(bitsAs<__m256i>(a), m);
    const __m256i odd = _mm256_mul_epu32(_mm256_srli_epi64(bitsAs<__m256i>(a), 32), m);
    return __builtin_shufflevector(bitsAs<U>(even),
                                   bitsAs<U>(odd), 1, 9, 3, 11, 5, 13, 7, 15);
  }
  static F squareRoot(F x) {
    const __m256 root = _mm256_sqrt_ps(bitsAs<__m256>(x));
    return bitsAs<F>(root);
  }
};

}  // namespace

void gaussianBlocksAvx2(const uint32_t key[2], const GaussianBlock* blocks, std::size_t count, uint32_t word2,
                        uint32_t word3) {
  gaussianBlocksWith<Avx2Lanes>(key, blocks, count, word2, word3);
}

}  // namespace cohortix::host::noise

#pragma GCC pop_options
