#pragma once
// The shape of one subject's data as the noise model and the estimators see it:
// voxels x fastest, then y, then z, each voxel's volumes contiguous (time fastest);
// voxel edges in millimetres and the repetition time in seconds.

#include <array>
#include <cstdint>

namespace cohortix::host::noise {

struct NoiseGeometry {
  int32_t dimX = 0;
  int32_t dimY = 0;
  int32_t dimZ = 0;
  int32_t volumes = 0;
  std::array<double, 3> voxelMm{3.0, 3.0, 3.0};
  double repetitionTime = 2.0;

  int64_t voxels() const { return int64_t{dimX} * dimY * dimZ; }
  int32_t dim(int axis) const { return axis == 0 ? dimX : axis == 1 ? dimY : dimZ; }
};

}  // namespace cohortix::host::noise
