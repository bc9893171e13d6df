#pragma once
// Which region covers each voxel of the box: the spheres exactly as a run writes
// them (every voxel of the cube of half-width roundHalfUp(Radius) around the
// centre whose distance from it is at most Radius, clipped to the box), a later
// region replacing an earlier one where they overlap.

#include <cstdint>
#include <vector>

#include "control/simulation_design.h"
#include "control/vtc_geometry.h"
#include "host/documents/vtc_document.h"

namespace cohortix::host {

class LabelMap {
 public:
  explicit LabelMap(VTCDims dims);
  VTCDims dims() const { return dims_; }
  bool contains(const VoxelIndex& v) const;
  // 0 outside every region, r + 1 inside region r.
  int label(const VoxelIndex& v) const { return labels_[linear(v)]; }
  void setLabel(const VoxelIndex& v, int label) { labels_[linear(v)] = static_cast<uint8_t>(label); }
  // The voxel's number in the data: (z * DimY + y) * DimX + x.
  std::size_t linear(const VoxelIndex& v) const;
  std::size_t voxelCount() const { return labels_.size(); }
  const std::vector<uint8_t>& labels() const { return labels_; }

 private:
  VTCDims dims_;
  std::vector<uint8_t> labels_;
};

// Every region's centre voxel before jitter, in region order.
std::vector<VoxelIndex> designRegionCentres(const SimulationDesign& design);

// The label map of the design's regions around the given centres (one per region).
LabelMap regionLabelMap(const SimulationDesign& design, VTCDims dims,
                        const std::vector<VoxelIndex>& centres);

// A voxel that lies in no region and as far from every sphere as the box allows,
// keeping two voxels from the box's faces where it can: the data's quiet place.
VoxelIndex quietVoxel(const SimulationDesign& design, const LabelMap& map,
                      const std::vector<VoxelIndex>& centres);

}  // namespace cohortix::host
