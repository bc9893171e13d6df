#include "host/report/label_map.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "control/round_half_up.h"

namespace cohortix::host {

LabelMap::LabelMap(VTCDims dims)
    : dims_(dims),
      labels_(static_cast<std::size_t>(std::max(dims.x, 0)) * std::max(dims.y, 0) *
                  std::max(dims.z, 0),
              0) {}

bool LabelMap::contains(const VoxelIndex& v) const {
  return v.X >= 0 && v.Y >= 0 && v.Z >= 0 && v.X < dims_.x && v.Y < dims_.y && v.Z < dims_.z;
}

std::size_t LabelMap::linear(const VoxelIndex& v) const {
  return (static_cast<std::size_t>(v.Z) * dims_.y + v.Y) * dims_.x + v.X;
}

std::vector<VoxelIndex> designRegionCentres(const SimulationDesign& design) {
  std::vector<VoxelIndex> centres;
  const VTCBox box = vtcBoxOf(design);
  for (int32_t r = 0; r < std::min(design.NrOfRegions, kMaxRegions); ++r)
    centres.push_back(regionCentreVoxel(design.Regions[r], box));
  return centres;
}

LabelMap regionLabelMap(const SimulationDesign& design, VTCDims dims,
                        const std::vector<VoxelIndex>& centres) {
  LabelMap map(dims);
  for (std::size_t r = 0; r < centres.size(); ++r) {
    const float radius = design.Regions[r].Radius;
    const int64_t half = roundHalfUp(radius);
    const VoxelIndex& c = centres[r];
    // Only the part of the cube inside the box can be written.
    const auto from = [half](int32_t centre) { return std::max<int64_t>(int64_t{centre} - half, 0); };
    const auto to = [half](int32_t centre, int32_t dim) {
      return std::min<int64_t>(int64_t{centre} + half, int64_t{dim} - 1);
    };
    for (int64_t z = from(c.Z); z <= to(c.Z, dims.z); ++z) {
      for (int64_t y = from(c.Y); y <= to(c.Y, dims.y); ++y) {
        for (int64_t x = from(c.X); x <= to(c.X, dims.x); ++x) {
          const int64_t squared = (x - c.X) * (x - c.X) + (y - c.Y) * (y - c.Y) + (z - c.Z) * (z - c.Z);
          if (std::sqrt(static_cast<float>(squared)) > radius) continue;
          map.setLabel({static_cast<int32_t>(x), static_cast<int32_t>(y), static_cast<int32_t>(z)},
                       static_cast<int>(r) + 1);
        }
      }
    }
  }
  return map;
}

VoxelIndex quietVoxel(const SimulationDesign& design, const LabelMap& map,
                      const std::vector<VoxelIndex>& centres) {
  const VTCDims dims = map.dims();
  const auto margin = [](int32_t dim) { return dim > 4 ? 2 : 0; };
  VoxelIndex best{dims.x / 2, dims.y / 2, dims.z / 2};
  if (centres.empty()) return best;  // every voxel is quiet: take the box's centre
  double bestDistance = -std::numeric_limits<double>::infinity();
  for (int32_t z = margin(dims.z); z < dims.z - margin(dims.z); ++z) {
    for (int32_t y = margin(dims.y); y < dims.y - margin(dims.y); ++y) {
      for (int32_t x = margin(dims.x); x < dims.x - margin(dims.x); ++x) {
        if (map.label({x, y, z}) != 0) continue;
        double distance = std::numeric_limits<double>::infinity();
        for (std::size_t r = 0; r < centres.size(); ++r) {
          const double dx = x - centres[r].X, dy = y - centres[r].Y, dz = z - centres[r].Z;
          distance = std::min(distance, std::sqrt(dx * dx + dy * dy + dz * dz) -
                                            static_cast<double>(design.Regions[r].Radius));
        }
        if (distance > bestDistance) {
          bestDistance = distance;
          best = {x, y, z};
        }
      }
    }
  }
  return best;
}

}  // namespace cohortix::host
