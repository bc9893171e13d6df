#pragma once
// A whole study analysed: every subject's first-level fit as it is loaded, then
// the group maps: for every effect the one-sample t over all subjects, over each
// group when there are several, and Welch's t between every two groups, each
// thresholded as asked. Results go to a sink as they are made, so nothing of a
// subject is kept beyond its effects' running moments.

#include <functional>
#include <string>
#include <vector>

#include "host/analysis/effects.h"
#include "host/analysis/first_level_fit.h"
#include "host/analysis/group_accumulator.h"
#include "host/analysis/group_tests.h"
#include "host/analysis/map_threshold.h"
#include "host/analysis/motion_regressors.h"
#include "host/analysis/permutation_maxima.h"
#include "host/analysis/study_source.h"
#include "host/io/status.h"

namespace cohortix::host {

struct AnalysisOptions {
  double smoothFwhmMm = 0.0;           // Gaussian smoothing before the first level; 0: none
  FirstLevelOptions firstLevel;        // the repetition time comes from the data
  MotionRegressorSetting motionRegressors;  // head motion's six parameters in each first level
  std::vector<std::string> contrasts;  // "name: w1 w2 ...", added to the generated ones
  double alpha = 0.05;
  Correction correction = Correction::Fdr;
  Tail tail = Tail::Two;
  PermutationSettings permutation;  // Fwe and Cluster
  double clusterFormingP = 0.001;    // Cluster: the uncorrected p-value a voxel must reach
  Connectivity connectivity = Connectivity::Corners;
  // A subject whose files cannot be read (damaged, cut short, missing) is left out
  // and told to the sink, instead of ending the analysis.
  bool skipDamaged = false;
};

// What one group map tests.
struct GroupTest {
  bool twoSample = false;
  std::size_t effect = 0;
  int32_t group = -1;       // one-sample: -1 for all subjects; two-sample: the first group
  int32_t otherGroup = -1;  // two-sample: the group subtracted
  std::string scope;        // "all", "G1", "G1vsG2": the start of the map's file names
  std::string groups;       // "all", "G1", "G1 - G2": for people
};

// The maps a study with these subjects per group supports: a one-sample test needs
// 2 subjects, a two-sample test 2 in each group.
std::vector<GroupTest> groupTests(const GroupAccumulator& accumulator,
                                        const std::vector<std::string>& groupNames);

StatisticMap computeGroupMap(const GroupAccumulator& accumulator, const GroupTest& groupTest, Tail tail);

// The map's threshold under the options' correction. Fwe and Cluster relabel the
// test's subjects: the accumulator must keep their values (see
// needsSubjectValues). The grid is the maps' (clusters join neighbours on it).
MapThreshold thresholdGroupMap(const GroupAccumulator& accumulator, const GroupTest& groupTest,
                               const StatisticMap& map, const AnalysisOptions& options, const StudyGrid& grid);
bool needsSubjectValues(const AnalysisOptions& options);

struct StudyDescription {
  std::vector<std::string> cellNames;
  std::vector<Effect> effects;  // cells first, then the contrasts
  std::vector<std::string> groupNames;
  StudyGrid grid;
};

class AnalysisSink {
 public:
  virtual ~AnalysisSink() = default;
  virtual void studyStarted(const StudyDescription&) {}
  virtual void subjectFitted(const SubjectEntry&, const FirstLevelFit&) {}
  // With skipDamaged: a subject left out, and why.
  virtual void subjectSkipped(const SubjectEntry&, const Status&) {}
  virtual void groupMapMade(const GroupTest&, const StatisticMap&, const MapThreshold&) {}
  virtual void studyFinished(const GroupAccumulator&) {}
};

// Called before each subject is loaded: its index (0-based), the count, its name.
using AnalysisProgress = std::function<void(std::size_t, std::size_t, const std::string&)>;

Status analyseStudy(StudySource& source, const AnalysisOptions& options, AnalysisSink& sink,
                    const AnalysisProgress& progress = {});

}  // namespace cohortix::host
