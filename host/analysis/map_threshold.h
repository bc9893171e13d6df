#pragma once
// Which voxels of a statistic map count as significant at level alpha: every
// voxel with p <= alpha (uncorrected), p <= alpha / m (Bonferroni, m tested
// voxels: the family-wise error rate stays at or below alpha), or p at most the
// Benjamini-Hochberg cut (the largest p_(k) with p_(k) <= k alpha / m: the expected
// share of false discoveries among the discoveries stays at or below alpha for
// independent or positively dependent tests), or, by permutation, a statistic
// above all but a share alpha of the largest statistics the map takes when its
// subjects are relabelled (the family-wise error rate stays at or below alpha
// however the voxels depend on each other; host/analysis/permutation_maxima.h),
// or, at the cluster level, every voxel of a cluster larger than all but a share
// alpha of the largest clusters the relabelled maps make.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "host/analysis/permutation_maxima.h"
#include "host/analysis/t_distribution.h"

namespace cohortix::host {

enum class Correction { None, Bonferroni, Fdr, Fwe, Cluster };

std::string correctionName(Correction correction);  // "none", "bonferroni", "fdr", "fwe", "cluster"
std::optional<Correction> correctionNamed(std::string_view name);
// Fwe and Cluster: thresholds set by relabelling the subjects, which depend on the
// data and need the subjects' own values.
bool byPermutation(Correction correction);

// A cluster of an observed map at the cluster-forming threshold.
struct MapCluster {
  int64_t voxels = 0;
  int8_t side = 1;          // +1 above the threshold, -1 below its negative
  int64_t peakVoxel = 0;    // where |t| is largest
  double peakT = 0.0;
  double pFamilyWise = 1.0;  // the share of relabellings whose largest cluster is at least as large
  bool significant = false;
};

struct MapThreshold {
  Correction correction = Correction::None;
  double alpha = 0.05;
  double p = 0.0;          // significant: p-value <= this
  double t = 0.0;          // the same cut as a statistic (|t| for two tails); NaN when df varies
  int64_t tested = 0;      // voxels with a p-value
  int64_t significant = 0;
  // Fwe: the cut is the statistic, exceeded (t above it for Tail::Upper, |t| for
  // Tail::Two); p is that t's uncorrected p-value, NaN when df varies.
  bool byStatistic = false;
  Tail tail = Tail::Two;
  int32_t relabellings = 0;  // Fwe, Cluster: how many, the observed one included
  bool exhaustive = false;   // Fwe, Cluster: every relabelling there is
  // Cluster: t and p are the cluster-forming threshold; a cluster is significant
  // with more than criticalVoxels voxels, and its voxels are the members.
  int64_t criticalVoxels = 0;
  Connectivity connectivity = Connectivity::Corners;
  std::vector<MapCluster> clusters;  // largest first
  std::vector<uint8_t> members;
  // Fwe, Cluster: each voxel's family-wise p-value, the share of relabellings whose
  // maximum (largest cluster) reaches its statistic (its cluster's size); 1 where
  // the voxel is not tested or, for clusters, in none.
  std::vector<float> correctedP;

  // Whether voxel v, with this p-value (NaN: not tested) and t, is significant.
  bool passes(std::size_t v, double pValue, double tValue) const;
};

// p holds NaN for voxels not tested; df is the map's (NaN when it varies).
MapThreshold thresholdMap(const std::vector<double>& p, double df, Correction correction,
                          double alpha, Tail tail);

// The family-wise cut of a map from its maximum statistic under relabellings,
// maxima[0] being the observed labelling's. A voxel's corrected p-value is the share
// of relabellings whose maximum reaches its statistic, the observed one always
// counting; it is significant when that share is at most alpha. With fewer than
// 1 / alpha relabellings no voxel can be.
MapThreshold thresholdByMaxima(const std::vector<double>& p, const std::vector<float>& t, double df,
                               const std::vector<double>& maxima, bool exhaustive, double alpha, Tail tail);

// The cluster-level cut from the largest cluster of each relabelling (maxima[0]
// the observed labelling's), by the same rule as thresholdByMaxima: a cluster is
// significant when at most floor(alpha R) of the R largest clusters, the observed
// one always among them, are as large.
MapThreshold thresholdByClusters(const std::vector<double>& p, const std::vector<float>& t,
                                 const std::vector<double>& maxima, bool exhaustive, double alpha, Tail tail,
                                 double formingP, const ClusterSettings& clusters);

}  // namespace cohortix::host
