// Every vector helper here is internal and inlined: the ABI for passing 32-byte
// vectors between functions never comes into play.
#pragma GCC diagnostic ignored "-Wpsabi"

#include <emmintrin.h>

#include <cstring>

#include "simulation/float_kernels.h"
#include "simulation/float_logarithm.h"
#include "simulation/polar_method.h"

namespace cohortix {

namespace {

using logarithm::Double4;
using logarithm::Float4;
using logarithm::Int4;

[[gnu::always_inline]] inline Float4 load(const float* p) {
  Float4 v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

[[gnu::always_inline]] inline void store(float* p, Float4 v) { std::memcpy(p, &v, sizeof v); }

[[gnu::always_inline]] inline Double4 squareRoot(Double4 q) {
  __m128d halves[2];
  std::memcpy(halves, &q, sizeof q);
  halves[0] = _mm_sqrt_pd(halves[0]);
  halves[1] = _mm_sqrt_pd(halves[1]);
  std::memcpy(&q, halves, sizeof q);
  return q;
}

void logarithms(const float* x, float* out, std::size_t n) {
  std::size_t i = 0;
  for (; i + 4 <= n; i += 4)
    store(out + i, logarithm::logOfPositive<Float4, Int4, Double4>(load(x + i)));
  for (; i < n; ++i) out[i] = logarithm::logOfPositive<float, int32_t, double>(x[i]);
}

void polarFactorsOf(const float* s, float* out, std::size_t n) {
  std::size_t i = 0;
  for (; i + 4 <= n; i += 4) {
    const Double4 q = logarithm::polarFactorSquared<Float4, Int4, Double4>(load(s + i));
    store(out + i, logarithm::narrow(squareRoot(q)));
  }
  for (; i < n; ++i) out[i] = polarFactor(s[i]);
}

}  // namespace

const FloatKernels& genericFloatKernels() {
  static constexpr FloatKernels kernels{"sse2", logarithms, polarFactorsOf};
  return kernels;
}

}  // namespace cohortix
