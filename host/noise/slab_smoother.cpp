#include "host/noise/slab_smoother.h"

#include <algorithm>

#include "host/noise/simd_rows.h"

namespace cohortix::host::noise {

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
    for (int x = 0; x < wideX; ++x) {
      float* run = &raw_[(static_cast<std::size_t>(y) * wideX + x) * stride_];
      source_(LatticeSite{x - rx, y - ry, z}, run);
    }
  for (int y = 0; y < wideY; ++y)
    for (int x = 0; x < dimX_; ++x) {
      float* out = &alongX_[(static_cast<std::size_t>(y) * dimX_ + x) * stride_];
      const float* in = &raw_[(static_cast<std::size_t>(y) * wideX + x) * stride_];
      rows::setScaled(out, in, kernelX_.weights[0], stride_);
      for (int j = 1; j <= 2 * rx; ++j) rows::addScaled(out, in + j * stride_, kernelX_.weights[j], stride_);
    }
  for (int y = 0; y < dimY_; ++y)
    for (int x = 0; x < dimX_; ++x) {
      float* out = into + (static_cast<std::size_t>(y) * dimX_ + x) * stride_;
      const float* in = &alongX_[(static_cast<std::size_t>(y) * dimX_ + x) * stride_];
      const std::size_t step = static_cast<std::size_t>(dimX_) * stride_;
      rows::setScaled(out, in, kernelY_.weights[0], stride_);
      for (int j = 1; j <= 2 * ry; ++j) rows::addScaled(out, in + j * step, kernelY_.weights[j], stride_);
    }
}

void SlabSmoother::run(int zBegin, int zEnd, const SiteSource& source, const SliceSink& sink) {
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
    rows::setScaled(output_.data(), slot(ready - rz), kernelZ_.weights[0], sliceFloats);
    for (int j = 1; j <= 2 * rz; ++j)
      rows::addScaled(output_.data(), slot(ready - rz + j), kernelZ_.weights[j], sliceFloats);
    sink(ready, output_.data());
  }
  source_ = nullptr;
}

}  // namespace cohortix::host::noise
