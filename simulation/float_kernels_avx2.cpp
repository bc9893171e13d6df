// AVX2 forms of the float kernels, compiled for AVX2 function by function, so
// that the library still loads and runs on any x86-64 processor. No FMA: the
// bits must stay those of the plain functions.

// Every vector helper here is internal and inlined: the ABI for passing 32-byte
// vectors between functions never comes into play.
#pragma GCC diagnostic ignored "-Wpsabi"

#include <immintrin.h>

#include <cstring>

#include "simulation/float_kernels.h"
#include "simulation/float_logarithm.h"
#include "simulation/polar_method.h"

namespace cohortix {

namespace {

using logarithm::Double4;
using logarithm::Float4;
using logarithm::Int4;

[[gnu::target("avx2")]] Float4 load(const float* p) {
  Float4 v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

[[gnu::target("avx2")]] void store(float* p, Float4 v) { std::memcpy(p, &v, sizeof v); }

[[gnu::target("avx2")]] Double4 squareRoot(Double4 q) {
  return reinterpret_cast<Double4>(_mm256_sqrt_pd(reinterpret_cast<__m256d>(q)));
}

[[gnu::target("avx2")]] void logarithms(const float* x, float* out, std::size_t n) {
  std::size_t i = 0;
  for (; i + 4 <= n; i += 4)
    store(out + i, logarithm::logOfPositive<Float4, Int4, Double4>(load(x + i)));
  for (; i < n; ++i) out[i] = logarithm::logOfPositive<float, int32_t, double>(x[i]);
}

[[gnu::target("avx2")]] void polarFactorsOf(const float* s, float* out, std::size_t n) {
  std::size_t i = 0;
  for (; i + 4 <= n; i += 4) {
    const Double4 q = logarithm::polarFactorSquared<Float4, Int4, Double4>(load(s + i));
    store(out + i, logarithm::narrow(squareRoot(q)));
  }
  for (; i < n; ++i) out[i] = polarFactor(s[i]);
}

}  // namespace

const FloatKernels* avx2FloatKernels() {
  static constexpr FloatKernels kernels{"avx2", logarithms, polarFactorsOf};
  __builtin_cpu_init();
  return __builtin_cpu_supports("avx2") ? &kernels : nullptr;
}

}  // namespace cohortix
