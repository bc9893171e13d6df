#include "app/group_threshold_options.h"

namespace cohortix::app {

void addGroupThresholdOptions(CLI::App& command, GroupThresholdOptions& options,
                              host::AnalysisOptions& analysis) {
  host::PermutationSettings& permutation = analysis.permutation;
  command.add_option("--correction", options.correction,
                     "Multiple-comparison correction of the maps (fwe: family-wise over voxels, "
                     "cluster: over clusters; both by permutation)")
      ->capture_default_str()
      ->check(CLI::IsMember({"none", "bonferroni", "fdr", "fwe", "cluster"}));
  command.add_option("--tail", options.tail, "Test both signs or only positive effects")
      ->capture_default_str()
      ->check(CLI::IsMember({"two", "upper"}));
  CLI::Option* permutations =
      command.add_option("--permutations", permutation.permutations,
                         "With --correction fwe or cluster: relabellings of the subjects per map, at "
                         "most (all there are when fewer)")
          ->capture_default_str()
          ->check(CLI::Range(1, 1000000));
  CLI::Option* seed = command.add_option("--permutation-seed", permutation.seed,
                                         "With --correction fwe or cluster: seed of the relabellings drawn "
                                         "at random")
                          ->capture_default_str();
  CLI::Option* formingP = command.add_option("--cluster-p", analysis.clusterFormingP,
                                             "With --correction cluster: the uncorrected p-value that forms "
                                             "clusters")
                              ->capture_default_str()
                              ->check(CLI::Range(1e-12, 0.5));
  CLI::Option* connectivity = command.add_option("--connectivity", options.connectivity,
                                                 "With --correction cluster: neighbours that join a cluster (6: "
                                                 "faces, 18: edges, 26: corners)")
                                  ->capture_default_str()
                                  ->check(CLI::IsMember({6, 18, 26}));
  // An option of a correction not asked for would be ignored, and the maps
  // thresholded otherwise than its user thinks: refused instead.
  command.parse_complete_callback([&options, permutations, seed, formingP, connectivity] {
    const bool permuted = options.correction == "fwe" || options.correction == "cluster";
    for (const CLI::Option* option : {permutations, seed})
      if (option->count() > 0 && !permuted)
        throw CLI::ValidationError(option->get_name(), "applies only with --correction fwe or cluster");
    for (const CLI::Option* option : {formingP, connectivity})
      if (option->count() > 0 && options.correction != "cluster")
        throw CLI::ValidationError(option->get_name(), "applies only with --correction cluster");
  });
}

void applyGroupThresholdOptions(const GroupThresholdOptions& options, host::AnalysisOptions& analysis) {
  analysis.correction = *host::correctionNamed(options.correction);
  analysis.tail = options.tail == "upper" ? host::Tail::Upper : host::Tail::Two;
  analysis.connectivity = *host::connectivityWith(options.connectivity);
}

}  // namespace cohortix::app
