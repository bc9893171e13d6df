#include "host/analysis/asked_regions.h"

#include <cmath>

#include "control/cell_index.h"
#include "control/vtc_geometry.h"

namespace cohortix::host {
namespace {

double distance(const VoxelIndex& a, const VoxelIndex& b) {
  const double dx = a.X - b.X, dy = a.Y - b.Y, dz = a.Z - b.Z;
  return std::sqrt(dx * dx + dy * dy + dz * dz);
}

// Where any subject's sphere may reach: the radius plus a shift of four centre
// SDs, rounded as the jitter is, on every axis at once.
double reach(const EffectRegion& region) {
  const double shift = std::floor(4.0 * std::fabs(region.CenterSD) + 0.5);
  return region.Radius + shift * std::sqrt(3.0);
}

template <typename Visit>
void forEachVoxel(const VTCDims& dims, Visit visit) {
  VoxelIndex v;
  for (v.Z = 0; v.Z < dims.DimZ; ++v.Z)
    for (v.Y = 0; v.Y < dims.DimY; ++v.Y)
      for (v.X = 0; v.X < dims.DimX; ++v.X) visit(v, static_cast<int64_t>(voxelNumber(dims, v)));
}

}  // namespace

AskedRegions::AskedRegions(const SimulationDesign& design, int32_t subjects) {
  const VTCBox box = vtcBoxOf(design);
  const VTCDims dims = vtcDims(box);
  const int32_t regions = std::max(0, std::min(design.NrOfRegions, kMaxRegions));
  voxels_.resize(static_cast<std::size_t>(regions));
  null_.assign(voxelsInBox(dims), 1);
  std::vector<int32_t> owner(null_.size(), -1);
  for (int32_t r = 0; r < regions; ++r) {
    const EffectRegion& region = design.Regions[r];
    const VoxelIndex centre = regionCentreVoxel(region, box);
    forEachVoxel(dims, [&](const VoxelIndex& v, int64_t number) {
      const double d = distance(v, centre);
      if (d <= region.Radius) owner[static_cast<std::size_t>(number)] = r;
      if (d <= reach(region)) null_[static_cast<std::size_t>(number)] = 0;
    });
  }
  for (std::size_t v = 0; v < owner.size(); ++v)
    if (owner[v] >= 0) voxels_[static_cast<std::size_t>(owner[v])].push_back(static_cast<int64_t>(v));
  const int32_t cells = std::min(design.NrOfWithinCells, kMaxWithinCells);
  cellMeans_.assign(static_cast<std::size_t>(regions),
                    std::vector<std::vector<double>>(static_cast<std::size_t>(design.NrOfGroups),
                                                     std::vector<double>(static_cast<std::size_t>(cells))));
  for (int32_t r = 0; r < regions; ++r)
    for (int32_t g = 0; g < design.NrOfGroups; ++g)
      for (int32_t c = 0; c < cells; ++c) {
        double sum = 0.0;
        for (int32_t s = 0; s < subjects; ++s) sum += design.EffectTable[r][effectRow(design, g, s)][c];
        cellMeans_[r][g][c] = sum / subjects;
      }
}

double AskedRegions::trueEffect(int32_t r, const Effect& effect, int32_t group) const {
  const auto& groups = cellMeans_[static_cast<std::size_t>(r)];
  double total = 0.0;
  int32_t counted = 0;
  for (std::size_t g = 0; g < groups.size(); ++g) {
    if (group >= 0 && static_cast<int32_t>(g) != group) continue;
    for (std::size_t c = 0; c < groups[g].size() && c < effect.weights.size(); ++c)
      total += effect.weights[c] * groups[g][c];
    ++counted;
  }
  return counted > 0 ? total / counted : 0.0;
}

}  // namespace cohortix::host
