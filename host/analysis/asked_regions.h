#pragma once
// What maps of a simulated study are scored against (by a power analysis, by the
// study report): for every region the voxels of the sphere the design asks for
// (its unjittered centre and radius, clipped to the box; a voxel two regions share
// belongs to the later, which overwrites it), the true group effect of every
// tested effect in every region, and the voxels that no subject's region can reach
// (farther from every centre than the radius plus a jitter of four centre SDs on
// every axis): the voxels whose significance is a false positive. Kept behind this
// small interface so a fuller truth (each subject's regions as placed) can take
// its place.

#include <cstdint>
#include <string>
#include <vector>

#include "control/simulation_design.h"
#include "host/analysis/effects.h"

namespace cohortix::host {

class ActiveVoxels {
 public:
  virtual ~ActiveVoxels() = default;
  virtual int32_t regions() const = 0;
  // The voxels (numbers in the VTC's order) of region r.
  virtual const std::vector<int64_t>& regionVoxels(int32_t r) const = 0;
  // 1 for the voxels no region's signal reaches in any subject.
  virtual const std::vector<uint8_t>& nullVoxels() const = 0;
  // The group's true effect in region r (percent of the baseline): the effect's
  // weights times the mean of the table rows of the group's subjects; group -1:
  // over all groups.
  virtual double trueEffect(int32_t r, const Effect& effect, int32_t group) const = 0;
};

class AskedRegions : public ActiveVoxels {
 public:
  // `design` with its derived counts, as the expanded study reads: replicates of
  // `subjects` subjects per group.
  AskedRegions(const SimulationDesign& design, int32_t subjects);

  int32_t regions() const override { return static_cast<int32_t>(voxels_.size()); }
  const std::vector<int64_t>& regionVoxels(int32_t r) const override { return voxels_[r]; }
  const std::vector<uint8_t>& nullVoxels() const override { return null_; }
  double trueEffect(int32_t r, const Effect& effect, int32_t group) const override;

 private:
  std::vector<std::vector<int64_t>> voxels_;
  std::vector<uint8_t> null_;
  // cellMeans_[r][g][c]: the mean table value of group g's subjects in one replicate.
  std::vector<std::vector<std::vector<double>>> cellMeans_;
};

}  // namespace cohortix::host
