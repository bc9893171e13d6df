#include "app/group_threshold_options.h"

namespace cohortix::app {

void addGroupThresholdOptions(CLI::App& command, GroupThresholdOptions& options,
                              host::PermutationSettings& permutation) {
  command.add_option("--correction", options.correction,
                     "Multiple-comparison correction of the maps (fwe: family-wise, by permutation)")
      ->capture_default_str()
      ->check(CLI::IsMember({"none", "bonferroni", "fdr", "fwe"}));
  command.add_option("--tail", options.tail, "Test both signs or only positive effects")
      ->capture_default_str()
      ->check(CLI::IsMember({"two", "upper"}));
  command.add_option("--permutations", permutation.permutations,
                     "With --correction fwe: relabellings of the subjects per map, at most "
                     "(all there are when fewer)")
      ->capture_default_str()
      ->check(CLI::Range(1, 1000000));
  command.add_option("--permutation-seed", permutation.seed,
                     "With --correction fwe: seed of the relabellings drawn at random")
      ->capture_default_str();
}

void applyGroupThresholdOptions(const GroupThresholdOptions& options, host::AnalysisOptions& analysis) {
  analysis.correction = *host::correctionNamed(options.correction);
  analysis.tail = options.tail == "upper" ? host::Tail::Upper : host::Tail::Two;
}

}  // namespace cohortix::app
