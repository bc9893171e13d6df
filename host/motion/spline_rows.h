#pragma once
// The rows of a moved image sampled from a volume's cubic B-spline
// coefficients (rigid_resampling.h). The coefficients are first copied with a
// margin of their mirror image on every side, so every voxel whose 64 taps lie
// within the margin reads them straight from memory, its four x taps side by
// side; eight voxels of a row that read the same sixteen rows, one voxel further
// along each, are computed together, one per lane, with the same arithmetic in
// the same order, so the same bits. The voxels whose taps reach beyond the
// margin (a pose that moves the head by more than the margin) are left to the
// caller.

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace cohortix::host::motion {

// Rows of [A | b]: grid voxel (i, j, k, 1) to world millimetres, or one grid's
// voxels to another's.
using GridAffine = std::array<std::array<double, 4>, 3>;

class PaddedCoefficients {
 public:
  static constexpr int32_t kMargin = 3;
  // `dims`: x, y, z, x fastest in memory.
  PaddedCoefficients(std::span<const float> coefficients, std::array<int32_t, 3> dims);

  const std::array<int32_t, 3>& dims() const { return dims_; }
  // The value at voxel (i, j, k), each within [-kMargin, n + kMargin).
  const float* at(int64_t i, int64_t j, int64_t k) const {
    return values_.data() + (static_cast<std::size_t>(k + kMargin) * rows_ + static_cast<std::size_t>(j + kMargin)) *
                                stride_ +
           static_cast<std::size_t>(i + kMargin);
  }
  std::size_t rowStride() const { return stride_; }
  std::size_t planeStride() const { return stride_ * rows_; }

 private:
  std::array<int32_t, 3> dims_;
  std::size_t stride_, rows_;
  std::vector<float> values_;
};

// What one row needs besides its output, kept from row to row.
struct RowScratch {
  std::array<std::vector<int32_t>, 3> first;                  // per axis, floor(x) - 1
  std::array<std::array<std::vector<float>, 4>, 3> weight;    // per axis and tap
};

// The lines along one axis of `values` turned into their cubic B-spline
// coefficients in place (Thevenaz, Blu and Unser, "Interpolation revisited",
// IEEE TMI 2000, with the exact mirror-symmetric initial values). The values are
// `outer` blocks of `n` rows of `inner` values, a row holding one value of each of
// `inner` lines, so every step of the recursion runs along a contiguous row.
void prefilterRows(double* values, std::size_t outer, std::size_t n, std::size_t inner);

// Index i folded into [0, n) by mirroring about the edge samples (scipy.ndimage's
// "mirror").
int32_t mirroredIndex(int64_t i, int32_t n);

// Row (j, k) of the moved image into out (dims[0] values); the voxels whose taps
// reach beyond the margin are appended to `beyond` (their i) and left as they are.
// `baseline`: the baseline instruction set's path even where AVX2's could run
// (the same bits; for the tests that say so).
void sampleRow(const PaddedCoefficients& coefficients, const GridAffine& source, int32_t j, int32_t k,
               RowScratch& scratch, float* out, std::vector<int32_t>& beyond, bool baseline = false);

}  // namespace cohortix::host::motion
