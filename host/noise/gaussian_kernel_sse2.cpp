// The Gaussian block kernel on four SSE2 lanes: every x86-64 processor has them.

#include <emmintrin.h>

#include "host/noise/counter_random.h"
#include "host/noise/gaussian_kernel.h"

namespace cohortix::host::noise {
namespace {

struct Sse2Lanes {
  typedef uint32_t U __attribute__((vector_size(16)));
  typedef int32_t I __attribute__((vector_size(16)));
  typedef float F __attribute__((vector_size(16)));
  static constexpr int kLanes = 4;

  static U mulHigh(U a, uint32_t multiplier) {
    const __m128i m = _mm_set1_epi32(static_cast<int>(multiplier));
    const __m128i even = _mm_mul_epu32(bitsAs<__m128i>(a), m);
    const __m128i odd = _mm_mul_epu32(_mm_srli_epi64(bitsAs<__m128i>(a), 32), m);
    return __builtin_shufflevector(bitsAs<U>(even),
                                   bitsAs<U>(odd), 1, 5, 3, 7);
  }
  static F squareRoot(F x) {
    const __m128 root = _mm_sqrt_ps(bitsAs<__m128>(x));
    return bitsAs<F>(root);
  }
};

}  // namespace

void gaussianBlocksSse2(const uint32_t key[2], const GaussianBlock* blocks, std::size_t count, uint32_t word2,
                        uint32_t word3) {
  gaussianBlocksWith<Sse2Lanes>(key, blocks, count, word2, word3);
}

}  // namespace cohortix::host::noise
