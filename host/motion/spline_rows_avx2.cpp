// The row sampler on AVX2 lanes, compiled for AVX2 here alone and called only
// when the processor has it. No FMA: the bits match the baseline's path.

#include <immintrin.h>

#include <cstring>
#include <vector>

#pragma GCC push_options
#pragma GCC target("avx2")

#include "host/motion/spline_rows_impl.h"

namespace cohortix::host::motion {
namespace {

struct VectorFloor {
  void operator()(const Doubles& x, Doubles& whole) const {
    __m256d v;
    std::memcpy(&v, &x, sizeof v);
    v = _mm256_floor_pd(v);
    std::memcpy(&whole, &v, sizeof v);
  }
};

}  // namespace

void sampleRowAvx2(const PaddedCoefficients& c, const GridAffine& s, int32_t j, int32_t k, RowScratch& scratch,
                   float* out, std::vector<int32_t>& beyond) {
  sampleRowImpl<VectorFloor>(c, s, j, k, scratch, out, beyond);
}

void prefilterRowsAvx2(double* values, std::size_t outer, std::size_t n, std::size_t inner) {
  prefilterRowsImpl(values, outer, n, inner);
}

}  // namespace cohortix::host::motion

#pragma GCC pop_options
