#pragma once
// Smooths a random field with the separable lattice kernels, slice by slice: the
// field is made on a lattice that reaches the kernels' radii beyond the image, each
// slice smoothed along x and then y, and the output slice along z from a ring of the
// last 2 Rz + 1 such slices. Every site carries a run of values (a chunk of volumes)
// that are smoothed alike. Memory: (2 Rz + 4) slices of runs.

#include <cstddef>
#include <functional>
#include <vector>

#include "host/noise/counter_random.h"
#include "host/noise/lattice_kernel.h"

namespace cohortix::host::noise {

class SlabSmoother {
 public:
  // Writes the `length` values of each of `count` sites of the extended lattice,
  // (xFirst, y, z) onwards along x, into out, out + stride, ...
  using RowSource = std::function<void(int xFirst, int y, int z, int count, float* out, std::size_t stride)>;
  // Receives output slice z: dimX * dimY runs of `stride()` floats, the first
  // `length` of each meaningful, x fastest.
  using SliceSink = std::function<void(int z, const float* slice)>;

  SlabSmoother(int dimX, int dimY, const LatticeKernel& kernelX, const LatticeKernel& kernelY,
               const LatticeKernel& kernelZ, std::size_t length);

  std::size_t stride() const { return stride_; }
  // Output slices zBegin .. zEnd - 1, in order.
  void run(int zBegin, int zEnd, const RowSource& source, const SliceSink& sink);

  // Floats held for runs of `length` values (for choosing a chunk length).
  static std::size_t footprint(int dimX, int dimY, int radiusX, int radiusY, int radiusZ,
                               std::size_t length);

 private:
  void smoothSlice(int z, float* into);

  int dimX_, dimY_;
  LatticeKernel kernelX_, kernelY_, kernelZ_;
  std::size_t length_, stride_;
  std::vector<float> raw_;       // (dimX + 2 Rx) x (dimY + 2 Ry) runs
  std::vector<float> alongX_;    // dimX x (dimY + 2 Ry) runs
  std::vector<float> ring_;      // (2 Rz + 1) slices of dimX x dimY runs
  std::vector<float> output_;    // one slice
  RowSource source_;             // during run()
};

}  // namespace cohortix::host::noise
