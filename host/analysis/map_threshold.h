#pragma once
// Which voxels of a statistic map count as significant at level alpha: every
// voxel with p <= alpha (uncorrected), p <= alpha / m (Bonferroni, m tested
// voxels: the family-wise error rate stays at or below alpha), or p at most the
// Benjamini-Hochberg cut (the largest p_(k) with p_(k) <= k alpha / m: the expected
// share of false discoveries among the discoveries stays at or below alpha for
// independent or positively dependent tests).

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "host/analysis/t_distribution.h"

namespace cohortix::host {

enum class Correction { None, Bonferroni, Fdr };

std::string correctionName(Correction correction);  // "none", "bonferroni", "fdr"
std::optional<Correction> correctionNamed(std::string_view name);

struct MapThreshold {
  Correction correction = Correction::None;
  double alpha = 0.05;
  double p = 0.0;          // significant: p-value <= this
  double t = 0.0;          // the same cut as a statistic (|t| for two tails); NaN when df varies
  int64_t tested = 0;      // voxels with a p-value
  int64_t significant = 0;
};

// p holds NaN for voxels not tested; df is the map's (NaN when it varies).
MapThreshold thresholdMap(const std::vector<double>& p, double df, Correction correction,
                          double alpha, Tail tail);

}  // namespace cohortix::host
