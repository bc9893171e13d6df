#pragma once
// Where the simulated VTC lies in the 256-voxel anatomy: its box and resolution,
// its dimensions, and the VTC voxel at which a region's Talairach centre lands.
// The VTC x index grows as Talairach y falls, y as Talairach z falls and z as
// Talairach x falls; 128 is the anatomy's centre.

#include <array>
#include <cstddef>
#include <cstdint>

#include "control/simulation_design.h"
#include "abi/host_records.h"

namespace cohortix {

// The anatomy's centre: Talairach 0 lies at anatomy coordinate 128 on every axis.
inline constexpr int32_t kAnatomyCentre = 128;

struct VTCBox {
  int32_t XStart = 0, XEnd = 0;
  int32_t YStart = 0, YEnd = 0;
  int32_t ZStart = 0, ZEnd = 0;
  int32_t Resolution = 1;
};

struct VTCDims {
  int32_t DimX = 0, DimY = 0, DimZ = 0;
};

struct VoxelIndex {
  int32_t X = 0, Y = 0, Z = 0;
};

// The largest |(128 - Talairach coordinate) - box start| a design may give: the
// region's centre, its jitter and its sphere then stay well inside 32-bit indices.
inline constexpr int64_t kMaxCentreOffset = int64_t{1} << 30;
// The largest radius and centre spread, in VTC voxels: no sphere needs to reach
// beyond the anatomy.
inline constexpr float kMaxRegionExtent = 256.0f;

// A VTC as a subject is written into it: where it lies, its dimensions, and the
// volumes of every voxel's time course.
struct VTCGeometry {
  VTCBox Box;
  VTCDims Dims;
  int32_t NrOfVolumes = 0;
};

VTCBox vtcBoxOf(const SimulationDesign& design);

// The box as a VTC header carries it, for what the host reports back.
VTCBox boxOfHeader(const VTCHeader& header);

// (end - start) / resolution, truncating towards zero.
int32_t vtcDimension(int32_t start, int32_t end, int32_t resolution);
VTCDims vtcDims(const VTCBox& box);

// The voxels of the box: 0 when any dimension is 0 or below.
std::size_t voxelsInBox(const VTCDims& dims);

// The number of voxel v in the data, (z * DimY + y) * DimX + x: voxels follow one
// another with x fastest. 64-bit, as a fine box over a long run holds more than
// 2^31 values.
std::size_t voxelNumber(const VTCDims& dims, const VoxelIndex& v);

bool insideBox(const VTCDims& dims, const VoxelIndex& v);

// (128 - talairach) - start, computed wide; the reader keeps it within
// kMaxCentreOffset.
int64_t centreOffset(int32_t talairach, int32_t start);

// roundHalfUp(((128 - talairach) - start) / resolution), the quotient formed in
// float.
int32_t vtcCentreIndex(int32_t talairach, int32_t start, int32_t resolution);

// The VTC voxel of a region's Talairach centre, before any jitter.
VoxelIndex regionCentreVoxel(const EffectRegion& region, const VTCBox& box);

// Rows x, y, z of the 3 x 4 matrix that takes VTC voxel (i, j, k, 1) to Talairach
// millimetres: the exact inverse of the centre mapping before its rounding, so a
// region's centre voxel lies within half a voxel of its Talairach point.
using TalairachAffine = std::array<std::array<double, 4>, 3>;
TalairachAffine talairachAffine(const VTCBox& box);

// DimX * DimY * DimZ * max(volumes, 1), computed wide, with negative dimensions
// counted as 0: the number of values the VTC holds.
int64_t vtcValueCount(const VTCDims& dims, int64_t volumes);

}  // namespace cohortix
