#pragma once
// The group level's memory: for every group and every effect, each voxel's
// running mean and sum of squared deviations over the subjects added so far
// (Welford's update, in double precision). Subjects pass through one at a time,
// so memory depends on the voxels, groups and effects, never on the number of
// subjects or of replicated studies: a replicate resets and reuses it. Only a
// permutation test, which relabels the subjects, needs their values themselves:
// then it keeps them too, in single precision (subjects x voxels x effects floats).

#include <cstdint>
#include <span>
#include <vector>

#include "host/analysis/effects.h"
#include "host/analysis/first_level_fit.h"
#include "host/io/status.h"

namespace cohortix::host {

// The subjects' values of one effect at every voxel, summarised.
struct EffectMoments {
  int32_t subjects = 0;
  std::vector<double> mean;
  std::vector<double> squaredDeviations;  // sum over subjects of (value - mean)^2
};

class GroupAccumulator {
 public:
  GroupAccumulator(int64_t voxels, int32_t nrOfGroups, std::vector<Effect> effects,
                   bool keepSubjectValues = false);

  // The subject's effects (weights times its betas in percent) added to its group
  // (0-based). Its voxels outside its signal mask leave the group mask.
  Status add(int32_t group, const FirstLevelFit& fit);

  void reset();

  int64_t voxels() const { return voxels_; }
  int32_t nrOfGroups() const { return nrOfGroups_; }
  const std::vector<Effect>& effects() const { return effects_; }
  int32_t subjects(int32_t group) const { return moments(group, 0).subjects; }
  const EffectMoments& moments(int32_t group, std::size_t effect) const;
  // All groups together, combined exactly from the groups' moments.
  EffectMoments pooled(std::size_t effect) const;
  // 1 for voxels that hold signal in every subject added.
  const std::vector<uint8_t>& mask() const { return mask_; }

  // Kept only when asked for: the group's subjects' values of the effect in the
  // order added, each subject's voxels together.
  bool keepsSubjectValues() const { return keepSubjectValues_; }
  std::span<const float> subjectValues(int32_t group, std::size_t effect) const;
  // Every group's, group after group.
  std::vector<float> allSubjectValues(std::size_t effect) const;

 private:
  int64_t voxels_;
  int32_t nrOfGroups_;
  std::vector<Effect> effects_;
  std::vector<EffectMoments> moments_;  // group-major
  std::vector<uint8_t> mask_;
  std::vector<double> values_;          // one subject's effect, reused
  bool keepSubjectValues_;
  std::vector<std::vector<float>> subjectValues_;  // group-major, as moments_
};

}  // namespace cohortix::host
