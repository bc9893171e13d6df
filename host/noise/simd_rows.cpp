// The row kernels on SSE2 lanes, and the choice of AVX2 when the processor has it.

#include "host/noise/simd_rows.h"

#include <emmintrin.h>

#include "host/noise/simd_rows_impl.h"

namespace cohortix::host::noise::rows {

void weightedSumAvx2(float* y, const float* const* x, const float* w, int taps, std::size_t n);
void addTwoScaledAvx2(float* y, const float* x, float a, const float* z, float b, std::size_t n);
void magnitudeAvx2(float* y, const float* z, float b, std::size_t n);

namespace {

struct Sse2Lanes {
  typedef float F __attribute__((vector_size(16)));
  static constexpr std::size_t kLanes = 4;
  static F squareRoot(F x) {
    __m128 v;
    std::memcpy(&v, &x, sizeof v);
    v = _mm_sqrt_ps(v);
    std::memcpy(&x, &v, sizeof v);
    return x;
  }
};

bool haveAvx2() {
  __builtin_cpu_init();
  return __builtin_cpu_supports("avx2");
}

const bool kAvx2 = haveAvx2();

}  // namespace

void weightedSumSse2(float* y, const float* const* x, const float* w, int taps, std::size_t n) {
  weightedSumWith<Sse2Lanes>(y, x, w, taps, n);
}

void weightedSum(float* y, const float* const* x, const float* w, int taps, std::size_t n) {
  if (kAvx2)
    weightedSumAvx2(y, x, w, taps, n);
  else
    weightedSumWith<Sse2Lanes>(y, x, w, taps, n);
}

void addTwoScaled(float* y, const float* x, float a, const float* z, float b, std::size_t n) {
  if (kAvx2)
    addTwoScaledAvx2(y, x, a, z, b, n);
  else
    addTwoScaledWith<Sse2Lanes>(y, x, a, z, b, n);
}

void magnitude(float* y, const float* z, float b, std::size_t n) {
  if (kAvx2)
    magnitudeAvx2(y, z, b, n);
  else
    magnitudeWith<Sse2Lanes>(y, z, b, n);
}

}  // namespace cohortix::host::noise::rows
