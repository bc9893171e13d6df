#pragma once
// How `analyze` and `power` threshold the group maps on the command line: the
// correction for many voxels and, for the family-wise correction by permutation,
// how many relabellings and from which seed.

#include <CLI/CLI.hpp>
#include <string>

#include "host/analysis/study_analysis.h"

namespace cohortix::app {

struct GroupThresholdOptions {
  std::string correction = "fdr";
  std::string tail = "two";
};

// Adds --correction, --tail, --permutations and --permutation-seed.
void addGroupThresholdOptions(CLI::App& command, GroupThresholdOptions& options,
                              host::PermutationSettings& permutation);

// The options' correction and tail in the analysis settings.
void applyGroupThresholdOptions(const GroupThresholdOptions& options, host::AnalysisOptions& analysis);

}  // namespace cohortix::app
