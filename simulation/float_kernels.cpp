#include "simulation/float_kernels.h"

namespace cohortix {

namespace {

using PolarFactorsFunction = void (*)(const float*, float*, std::size_t);

void choosePolarFactors(const float* s, float* out, std::size_t n);

// Starts at the chooser, so nothing runs when the library is loaded; the first
// call replaces it with the kernel for this processor.
PolarFactorsFunction polarFactorsKernel = choosePolarFactors;

void choosePolarFactors(const float* s, float* out, std::size_t n) {
  const FloatKernels* avx2 = avx2FloatKernels();
  polarFactorsKernel = (avx2 ? *avx2 : genericFloatKernels()).polarFactors;
  polarFactorsKernel(s, out, n);
}

}  // namespace

void polarFactors(const float* s, float* out, std::size_t n) { polarFactorsKernel(s, out, n); }

}  // namespace cohortix
