#pragma once
// Where the voxels of a simulated VTC lie in Talairach space: the exact inverse of
// the mapping that places a region's Talairach centre on a VTC voxel, before
// rounding. The VTC x index grows as Talairach y falls, y as Talairach z falls and
// z as Talairach x falls, 128 being the anatomy's centre.

#include <array>
#include <cstdint>

namespace cohortix::host {

// The VTC's box starts, resolution and dimensions: all a voxel grid needs.
struct VTCGrid {
  int32_t XStart = 0, YStart = 0, ZStart = 0;
  int32_t Resolution = 1;
  int32_t DimX = 0, DimY = 0, DimZ = 0;
};

// Rows x, y, z of the 3 x 4 matrix taking VTC voxel (i, j, k, 1) to Talairach
// millimetres.
using Affine = std::array<std::array<double, 4>, 3>;

Affine talairachAffine(const VTCGrid& grid);

}  // namespace cohortix::host
