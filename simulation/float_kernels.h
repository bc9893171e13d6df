#pragma once
// Batch forms of logFloat and of the polar method's factor, one set per
// instruction set. Every set gives the bits of the plain functions: they run the
// same operations, only more values at a time.

#include <cstddef>

namespace cohortix {

struct FloatKernels {
  const char* name;
  // out[i] = logFloat(x[i]) for x[i] positive and finite.
  void (*logarithms)(const float* x, float* out, std::size_t n);
  // out[i] = polarFactor(s[i]) for s[i] in (0, 1).
  void (*polarFactors)(const float* s, float* out, std::size_t n);
};

// SSE2: every x86-64 processor.
const FloatKernels& genericFloatKernels();
// AVX2; null when this processor lacks it.
const FloatKernels* avx2FloatKernels();

// The polar factors through the fastest set this processor runs, chosen at the
// first call.
void polarFactors(const float* s, float* out, std::size_t n);

}  // namespace cohortix
