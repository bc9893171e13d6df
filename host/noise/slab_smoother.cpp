#include "host/noise/slab_smoother.h"

#include <algorithm>
#include <cassert>

#include "host/noise/simd_rows.h"

namespace cohortix::host::noise {
namespace {

// Wider than the kernel of kMaxFwhmVoxels voxels.
constexpr int kMaxRadius = 64;

}  // namespace

SlabSmoother::SlabSmoother(int dimX, int dimY, const LatticeKernel& kernelX,
                           const LatticeKernel& kernelY, const LatticeKernel& kernelZ,
                           std::size_t length)
    : dimX_(dimX),
      dimY_(dimY),
      kernelX_(kernelX),
      kernelY_(kernelY),
      kernelZ_(kernelZ),
      length_(length),
      stride_(paddedLength(length)) {
  assert(kernelX.radius <= kMaxRadius && kernelY.radius <= kMaxRadius && kernelZ.radius <= kMaxRadius);
  const std::size_t wideX = dimX + 2 * kernelX.radius;
  const std::size_t wideY = dimY + 2 * kernelY.radius;
  raw_.assign(wideX * wideY * stride_, 0.0f);
  alongX_.assign(dimX * wideY * stride_, 0.0f);
  ring_.assign((2 * kernelZ.radius + 1) * static_cast<std::size_t>(dimX) * dimY * stride_, 0.0f);
  output_.assign(static_cast<std::size_t>(dimX) * dimY * stride_, 0.0f);
}

std::size_t SlabSmoother::footprint(int dimX, int dimY, int radiusX, int radiusY, int radiusZ,
                                    std::size_t length) {
  const std::size_t wideX = dimX + 2 * radiusX, wideY = dimY + 2 * radiusY;
  const std::size_t slice = static_cast<std::size_t>(dimX) * dimY;
  return (wideX * wideY + dimX * wideY + (2 * radiusZ + 2) * slice) * paddedLength(length);
}

// Generates extended slice z and smooths it along x and y into `into`.
void SlabSmoother::smoothSlice(int z, float* into) {
  const int rx = kernelX_.radius, ry = kernelY_.radius;
  const int wideX = dimX_ + 2 * rx, wideY = dimY_ + 2 * ry;
  for (int y = 0; y < wideY; ++y)
    source_(-rx, y - ry, z, wideX, &raw_[static_cast<std::size_t>(y) * wideX * stride_], stride_);
  const float* rows[2 * kMaxRadius + 1];
  for (int y = 0; y < wideY; ++y)
    for (int x = 0; x < dimX_; ++x) {
      const float* in = &raw_[(static_cast<std::size_t>(y) * wideX + x) * stride_];
      for (int j = 0; j <= 2 * rx; ++j) rows[j] = in + j * stride_;
      rows::weightedSum(&alongX_[(static_cast<std::size_t>(y) * dimX_ + x) * stride_], rows,
                        kernelX_.weights.data(), 2 * rx + 1, stride_);
    }
  const std::size_t step = static_cast<std::size_t>(dimX_) * stride_;
  for (int y = 0; y < dimY_; ++y)
    for (int x = 0; x < dimX_; ++x) {
      const float* in = &alongX_[(static_cast<std::size_t>(y) * dimX_ + x) * stride_];
      for (int j = 0; j <= 2 * ry; ++j) rows[j] = in + j * step;
      rows::weightedSum(into + (static_cast<std::size_t>(y) * dimX_ + x) * stride_, rows,
                        kernelY_.weights.data(), 2 * ry + 1, stride_);
    }
}

void SlabSmoother::run(int zBegin, int zEnd, const RowSource& source, const SliceSink& sink) {
  source_ = source;
  const int rz = kernelZ_.radius;
  const int ringSize = 2 * rz + 1;
  const std::size_t sliceFloats = static_cast<std::size_t>(dimX_) * dimY_ * stride_;
  const auto slot = [&](int z) {
    return &ring_[static_cast<std::size_t>(((z - (zBegin - rz)) % ringSize)) * sliceFloats];
  };
  for (int z = zBegin - rz; z < zEnd + rz; ++z) {
    smoothSlice(z, slot(z));
    const int ready = z - rz;
    if (ready < zBegin) continue;
    const float* slices[2 * kMaxRadius + 1];
    for (int j = 0; j <= 2 * rz; ++j) slices[j] = slot(ready - rz + j);
    rows::weightedSum(output_.data(), slices, kernelZ_.weights.data(), 2 * rz + 1, sliceFloats);
    sink(ready, output_.data());
  }
  source_ = nullptr;
}

}  // namespace cohortix::host::noise
