#include "control/vtc_geometry.h"

#include <algorithm>

#include "control/round_half_up.h"
#include "control/wide_arithmetic.h"

namespace cohortix {

VTCBox vtcBoxOf(const SimulationDesign& design) {
  return {design.XStart, design.XEnd,   design.YStart,    design.YEnd,
          design.ZStart, design.ZEnd, design.Resolution};
}

VTCBox boxOfHeader(const VTCHeader& header) {
  return {header.XStart, header.XEnd,   header.YStart,    header.YEnd,
          header.ZStart, header.ZEnd, header.Resolution};
}

// In 64 bits, so a header the reader never saw cannot overflow the extent.
int32_t vtcDimension(int32_t start, int32_t end, int32_t resolution) {
  return static_cast<int32_t>((int64_t{end} - start) / resolution);
}

VTCDims vtcDims(const VTCBox& box) {
  return {vtcDimension(box.XStart, box.XEnd, box.Resolution),
          vtcDimension(box.YStart, box.YEnd, box.Resolution),
          vtcDimension(box.ZStart, box.ZEnd, box.Resolution)};
}

std::size_t voxelsInBox(const VTCDims& dims) {
  if (dims.DimX <= 0 || dims.DimY <= 0 || dims.DimZ <= 0) return 0;
  return static_cast<std::size_t>(dims.DimX) * static_cast<std::size_t>(dims.DimY) *
         static_cast<std::size_t>(dims.DimZ);
}

std::size_t voxelNumber(const VTCDims& dims, const VoxelIndex& v) {
  return (static_cast<std::size_t>(v.Z) * static_cast<std::size_t>(dims.DimY) +
          static_cast<std::size_t>(v.Y)) * static_cast<std::size_t>(dims.DimX) +
         static_cast<std::size_t>(v.X);
}

bool insideBox(const VTCDims& dims, const VoxelIndex& v) {
  return v.X >= 0 && v.X < dims.DimX && v.Y >= 0 && v.Y < dims.DimY && v.Z >= 0 &&
         v.Z < dims.DimZ;
}

int64_t centreOffset(int32_t talairach, int32_t start) {
  return (int64_t{kAnatomyCentre} - talairach) - start;
}

int32_t vtcCentreIndex(int32_t talairach, int32_t start, int32_t resolution) {
  const int32_t offset = (kAnatomyCentre - talairach) - start;
  const float quotient = static_cast<float>(offset) / static_cast<float>(resolution);
  return roundHalfUp(quotient);
}

VoxelIndex regionCentreVoxel(const EffectRegion& region, const VTCBox& box) {
  return {vtcCentreIndex(region.TalY, box.XStart, box.Resolution),
          vtcCentreIndex(region.TalZ, box.YStart, box.Resolution),
          vtcCentreIndex(region.TalX, box.ZStart, box.Resolution)};
}

TalairachAffine talairachAffine(const VTCBox& box) {
  const double r = box.Resolution;
  const double centre = kAnatomyCentre;
  return {{
      {0.0, 0.0, -r, centre - box.ZStart},  // Talairach x falls as k grows
      {-r, 0.0, 0.0, centre - box.XStart},  // Talairach y falls as i grows
      {0.0, -r, 0.0, centre - box.YStart},  // Talairach z falls as j grows
  }};
}

int64_t vtcValueCount(const VTCDims& dims, int64_t volumes) {
  const int64_t voxels =
      wideMul(wideMul(std::max(dims.DimX, 0), std::max(dims.DimY, 0)), std::max(dims.DimZ, 0));
  return wideMul(voxels, std::max<int64_t>(volumes, 1));
}

}  // namespace cohortix
