#pragma once
// An image moved by a rigid pose (head_motion.h) with cubic B-spline
// interpolation: the image is first turned into its B-spline coefficients
// (Unser's recursive prefilter, separable along each axis, mirror-symmetric at
// the edges), then the moved image is the spline sampled where the inverse of
// the pose takes each voxel:
//   moved(x) = image(R^T (x - c - t) + c),
// x, c and t in world millimetres (the grid's affine), c the grid's centre.
// Beyond the grid the image continues as its mirror image about the edge voxels
// (scipy.ndimage's "mirror"); the interpolation reproduces the image exactly
// when the pose is the rest pose.

#include <array>
#include <cstdint>
#include <span>

#include "host/motion/head_motion.h"
#include "host/motion/spline_rows.h"

namespace cohortix::host::motion {

class RigidResampler {
 public:
  // `dims`: x, y, z, x fastest in memory.
  RigidResampler(std::array<int32_t, 3> dims, const GridAffine& affine) : dims_(dims), affine_(affine) {}

  std::size_t voxels() const {
    return static_cast<std::size_t>(dims_[0]) * static_cast<std::size_t>(dims_[1]) *
           static_cast<std::size_t>(dims_[2]);
  }
  // `image` is overwritten by its spline coefficients; `moved` receives the
  // image moved by `pose`. Both of voxels() values.
  void move(std::span<float> image, const Pose& pose, std::span<float> moved) const;

  // The rotations' centre: the grid's centre in world millimetres.
  std::array<double, 3> centre() const;
  // The grid coordinates the moved image samples for each voxel: rows of
  // [M | m], source = M voxel + m.
  GridAffine sourceOf(const Pose& pose) const;

 private:
  void prefilter(std::span<float> image) const;
  void sample(std::span<const float> coefficients, const GridAffine& source, std::span<float> moved) const;
  void sampleVoxel(std::span<const float> coefficients, const GridAffine& source, int32_t i, int32_t j, int32_t k,
                   float& moved) const;

  std::array<int32_t, 3> dims_;
  GridAffine affine_;
};

}  // namespace cohortix::host::motion
