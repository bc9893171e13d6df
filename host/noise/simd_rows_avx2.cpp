// The row kernels on AVX2 lanes, compiled for AVX2 here alone and called only when
// the processor has it. No FMA: the bits match the SSE2 path.

#include <immintrin.h>

#include <cmath>
#include <cstddef>
#include <cstring>

#pragma GCC push_options
#pragma GCC target("avx2")

#include "host/noise/simd_rows_impl.h"

namespace cohortix::host::noise::rows {
namespace {

struct Avx2Lanes {
  typedef float F __attribute__((vector_size(32)));
  static constexpr std::size_t kLanes = 8;
  static F squareRoot(F x) {
    __m256 v;
    std::memcpy(&v, &x, sizeof v);
    v = _mm256_sqrt_ps(v);
    std::memcpy(&x, &v, sizeof v);
    return x;
  }
};

}  // namespace

void weightedSumAvx2(float* y, const float* const* x, const float* w, int taps, std::size_t n) {
  weightedSumWith<Avx2Lanes>(y, x, w, taps, n);
}

void addTwoScaledAvx2(float* y, const float* x, float a, const float* z, float b, std::size_t n) {
  addTwoScaledWith<Avx2Lanes>(y, x, a, z, b, n);
}

void magnitudeAvx2(float* y, const float* z, float b, std::size_t n) {
  magnitudeWith<Avx2Lanes>(y, z, b, n);
}

}  // namespace cohortix::host::noise::rows

#pragma GCC pop_options
