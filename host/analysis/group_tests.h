#pragma once
// Group-level t tests at every voxel, on the subjects' effects in percent of their
// baselines: the one-sample t of an effect against 0 (all subjects or one group;
// N - 1 degrees of freedom), and Welch's two-sample t between two groups, which
// does not assume equal variances (its degrees of freedom, from the
// Welch-Satterthwaite formula, differ from voxel to voxel).

#include <cstdint>
#include <vector>

#include "host/analysis/group_accumulator.h"
#include "host/analysis/t_distribution.h"

namespace cohortix::host {

struct StatisticMap {
  std::vector<float> t;       // 0 outside the mask
  std::vector<float> effect;  // mean effect, or the groups' difference, in percent
  std::vector<double> p;      // NaN outside the mask (not tested)
  double df = 0.0;            // NaN when it varies from voxel to voxel
};

// Needs at least 2 subjects.
StatisticMap oneSampleT(const EffectMoments& moments, const std::vector<uint8_t>& mask, Tail tail);

// first minus second; needs at least 2 subjects in each.
StatisticMap welchT(const EffectMoments& first, const EffectMoments& second,
                    const std::vector<uint8_t>& mask, Tail tail);

}  // namespace cohortix::host
