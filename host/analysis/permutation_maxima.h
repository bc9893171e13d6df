#pragma once
// Family-wise error control by permutation: the distribution, under the null
// hypothesis, of a group map's largest statistic over its tested voxels, found by
// recomputing the map under every relabelling of the subjects (host/analysis/
// relabellings.h). A voxel whose statistic exceeds all but a share alpha of those
// maxima is significant with the family-wise error rate at most alpha, whatever the
// smoothness of the data: the test assumes no distribution and no independence of
// voxels, only that the relabellings leave the null distribution unchanged
// (symmetric effects for sign flips, exchangeable subjects for group splits).

#include <cstdint>
#include <span>
#include <vector>

#include "host/analysis/clusters.h"
#include "host/analysis/relabellings.h"
#include "host/analysis/t_distribution.h"

namespace cohortix::host {

struct PermutationSettings {
  int32_t permutations = 1000;  // at most; every relabelling when there are fewer
  uint64_t seed = 1;
};

struct MaximumDistribution {
  std::vector<double> maxima;  // one per relabelling, the observed one first
  bool exhaustive = false;
};

// The statistic is t for Tail::Upper, |t| for Tail::Two; voxels with mask 0 are not
// tested. Values are subject-major: each subject's `mask.size()` values together.

// The one-sample t of the values against 0, under sign flips of the subjects.
MaximumDistribution oneSampleMaxima(std::span<const float> values, int32_t subjects,
                                    const std::vector<uint8_t>& mask, Tail tail,
                                    const PermutationSettings& settings);

// Welch's t of the first group's values minus the second's, under splits of the
// subjects into groups of the same sizes.
MaximumDistribution welchMaxima(std::span<const float> first, int32_t firstSubjects,
                                std::span<const float> second, int32_t secondSubjects,
                                const std::vector<uint8_t>& mask, Tail tail,
                                const PermutationSettings& settings);

// Cluster-level inference: each relabelling's largest cluster (in voxels) of the
// voxels whose statistic reaches the cluster-forming threshold; a cluster of the
// observed map larger than all but a share alpha of them is significant, with the
// family-wise error rate over clusters at most alpha.
struct ClusterSettings {
  double formingT = 0.0;  // a voxel joins a cluster with t >= this (or, two tails, t <= -this)
  GridShape grid;         // of the mask
  Connectivity connectivity = Connectivity::Corners;
};

MaximumDistribution oneSampleClusterMaxima(std::span<const float> values, int32_t subjects,
                                           const std::vector<uint8_t>& mask, Tail tail,
                                           const PermutationSettings& settings, const ClusterSettings& clusters);

MaximumDistribution welchClusterMaxima(std::span<const float> first, int32_t firstSubjects,
                                       std::span<const float> second, int32_t secondSubjects,
                                       const std::vector<uint8_t>& mask, Tail tail,
                                       const PermutationSettings& settings, const ClusterSettings& clusters);

}  // namespace cohortix::host
