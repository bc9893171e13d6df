#pragma once
// How `analyze` and `power` threshold the group maps on the command line: the
// correction for many voxels; for the family-wise corrections by permutation
// (voxels or clusters), how many relabellings and from which seed; for clusters,
// the threshold that forms them and which neighbours join them.

#include <CLI/CLI.hpp>
#include <string>

#include "host/analysis/study_analysis.h"

namespace cohortix::app {

struct GroupThresholdOptions {
  std::string correction = "fdr";
  std::string tail = "two";
  int connectivity = 26;
};

// Adds --correction, --tail, --permutations, --permutation-seed, --cluster-p and
// --connectivity.
void addGroupThresholdOptions(CLI::App& command, GroupThresholdOptions& options,
                              host::AnalysisOptions& analysis);

// The options' correction and tail in the analysis settings.
void applyGroupThresholdOptions(const GroupThresholdOptions& options, host::AnalysisOptions& analysis);

}  // namespace cohortix::app
