#include "host/motion/spline_rows.h"

#include <cstdint>
#include <cstring>

#include "host/motion/spline_rows_impl.h"

namespace cohortix::host::motion {

void sampleRowAvx2(const PaddedCoefficients& c, const GridAffine& s, int32_t j, int32_t k, RowScratch& scratch,
                   float* out, std::vector<int32_t>& beyond);
void prefilterRowsAvx2(double* values, std::size_t outer, std::size_t n, std::size_t inner);

int32_t mirroredIndex(int64_t i, int32_t n) {
  if (n == 1) return 0;
  const int64_t period = 2 * static_cast<int64_t>(n) - 2;
  i %= period;
  if (i < 0) i += period;
  return static_cast<int32_t>(i < n ? i : period - i);
}

PaddedCoefficients::PaddedCoefficients(std::span<const float> coefficients, std::array<int32_t, 3> dims)
    : dims_(dims),
      stride_(static_cast<std::size_t>(dims[0] + 2 * kMargin)),
      rows_(static_cast<std::size_t>(dims[1] + 2 * kMargin)),
      values_(stride_ * rows_ * static_cast<std::size_t>(dims[2] + 2 * kMargin)) {
  const auto nx = static_cast<std::size_t>(dims[0]), ny = static_cast<std::size_t>(dims[1]);
  // Where each padded column's value comes from along x; the rows' middles are copied whole.
  std::vector<int32_t> columns(stride_);
  for (std::size_t i = 0; i < stride_; ++i) columns[i] = mirroredIndex(static_cast<int64_t>(i) - kMargin, dims[0]);
  float* to = values_.data();
  for (int32_t k = -kMargin; k < dims[2] + kMargin; ++k)
    for (int32_t j = -kMargin; j < dims[1] + kMargin; ++j, to += stride_) {
      const float* row = coefficients.data() + (static_cast<std::size_t>(mirroredIndex(k, dims[2])) * ny +
                                                static_cast<std::size_t>(mirroredIndex(j, dims[1]))) *
                                                   nx;
      std::memcpy(to + kMargin, row, nx * sizeof(float));
      for (std::size_t i = 0; i < static_cast<std::size_t>(kMargin); ++i) {
        to[i] = row[columns[i]];
        to[stride_ - 1 - i] = row[columns[stride_ - 1 - i]];
      }
    }
}

namespace {

// Floor lane by lane (the baseline has no vector rounding).
struct LaneFloor {
  void operator()(const Doubles& x, Doubles& whole) const {
    for (int l = 0; l < 4; ++l) {
      // floor without the library's call: truncation, one down for negatives.
      auto truncated = static_cast<double>(static_cast<int64_t>(x[l]));
      whole[l] = truncated > x[l] ? truncated - 1.0 : truncated;
    }
  }
};

}  // namespace

namespace {

bool hasAvx2() {
  static const bool avx2 = __builtin_cpu_supports("avx2");
  return avx2;
}

}  // namespace

void prefilterRows(double* values, std::size_t outer, std::size_t n, std::size_t inner) {
  if (hasAvx2()) prefilterRowsAvx2(values, outer, n, inner);
  else prefilterRowsImpl(values, outer, n, inner);
}

void sampleRow(const PaddedCoefficients& c, const GridAffine& s, int32_t j, int32_t k, RowScratch& scratch,
               float* out, std::vector<int32_t>& beyond, bool baseline) {
  // A multiple of four, for rowTaps's whole blocks.
  const std::size_t n = (static_cast<std::size_t>(c.dims()[0]) + 3) / 4 * 4;
  for (std::size_t r = 0; r < 3; ++r) {
    scratch.first[r].resize(n);
    for (auto& w : scratch.weight[r]) w.resize(n);
  }
  if (!baseline && hasAvx2()) sampleRowAvx2(c, s, j, k, scratch, out, beyond);
  else sampleRowImpl<LaneFloor>(c, s, j, k, scratch, out, beyond);
}

}  // namespace cohortix::host::motion
