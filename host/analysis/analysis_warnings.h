#pragma once
// What makes an analysis unable to work, or lose most of its power, found before
// anything is fitted: a permutation correction whose relabellings cannot reach
// --alpha, a high-pass cutoff that removes the design's own frequencies, drift
// regressors that take most of the degrees of freedom. Each is one line for
// stderr and for analysis.json; `analyze --strict` refuses on any.

#include <string>
#include <vector>

#include "host/analysis/study_analysis.h"
#include "host/analysis/study_source.h"
#include "host/io/status.h"

namespace cohortix::host {

// A predictor losing more than this share of its variance to the high-pass filter
// is warned about: its beta's efficiency falls below half.
inline constexpr double kHighPassLossWarned = 0.5;
// Drift regressors taking more than this share of the volumes are warned about.
inline constexpr double kDriftShareWarned = 0.25;

// The smallest p-value R relabellings reach is 1 / R: above alpha, nothing can be
// significant. `groupSizes` holds the subjects of each group.
std::vector<std::string> relabellingWarnings(const std::vector<int32_t>& groupSizes,
                                             const std::vector<std::string>& groupNames,
                                             const AnalysisOptions& options);

// For one subject's design: each predictor's variance share in the high-pass
// filter's cosines (the efficiency lost), and the drift regressors' share.
std::vector<std::string> firstLevelWarnings(const std::vector<Predictor>& predictors, int32_t volumes,
                                            double repetitionTime, const FirstLevelOptions& options);

// Both, for a study: the first subject's design stands for the others (loaded here).
Result<std::vector<std::string>> analysisWarnings(StudySource& source, const AnalysisOptions& options);

}  // namespace cohortix::host
