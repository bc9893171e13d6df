#pragma once
// The in-memory analysis of a power run: every saved subject is fitted as
// `analyze` fits it (nothing is written), its effects join its replicate's group
// level, and when a replicate's last subject has come its group maps are made,
// thresholded and scored against the truth. One run may hold the replicates of
// several sample sizes: a subject is fitted once and joins the replicate of every
// size it belongs to. Only the replicates under way are held: with one group, one
// per sample size at a time, whatever the number of replicates.

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "control/simulation_design.h"
#include "host/analysis/first_level_fit.h"
#include "host/analysis/study_analysis.h"
#include "host/power/power_tally.h"
#include "host/analysis/asked_regions.h"
#include "host/session/saved_subject.h"

namespace cohortix::host {

// One line of the power table.
struct PowerRow {
  int32_t subjects = 0;
  std::string scope;    // "all", "G1", "G1vsG2"
  std::string effect;   // a cell or a contrast
  std::string region;   // "Region1", ...; "outside" for the voxels no region reaches
  std::string measure;  // detection, sensitivity, roi_power, family_wise, false_positive_rate, false_discovery
  double trueEffect = 0.0;  // percent; NaN for the outside rows
  Estimate estimate;
  double analytic = 0.0;    // NaN where the analytic model does not apply
  int64_t replicates = 0;
};

// Which subjects a power run's sink analyses, and how.
struct PowerSinkSettings {
  // Subjects per group of every sample size: replicate k of size n is made of each
  // group's subjects k n + 1 .. (k + 1) n of the run.
  std::vector<int32_t> sizes;
  int32_t replicates = 0;
  AnalysisOptions analysis;
  // The analytic column models the plug-in's white noise; with the host's noise
  // added it does not apply.
  bool hostNoise = false;
  // Score each replicate against the regions its subjects received (each subject's
  // spheres as the plug-in placed them: a region's voxels are those it wrote last in
  // any subject of the replicate, the null voxels those no region wrote in any),
  // rather than against the spheres the design asks for.
  bool receivedRegions = true;
};

class PowerSink : public SubjectSink {
 public:
  // `design`: the replicated study (subjects per group at least the largest size
  // times the replicates); the sink and truth must outlive the run.
  PowerSink(const SimulationDesign& design, const ActiveVoxels& truth, PowerSinkSettings settings);
  ~PowerSink() override;

  void subjectSaved(const SavedSubject& subject, SubjectOutcomes& outcomes) override;

  // The first failure (a subject that could not be analysed); ok otherwise.
  const Status& status() const { return status_; }
  // The fewest replicates scored of any sample size.
  int32_t replicatesScored() const;
  // The table, in sample size, test, region and measure order.
  std::vector<PowerRow> rows() const;

 private:
  struct Replicate;
  struct TestTallies;
  struct Sample;
  Status analyse(const SavedSubject& subject);
  Status startStudy(const SavedSubject& subject);
  std::vector<double> regionMeans(const FirstLevelFit& fit, const SubjectComponents* received) const;
  Status join(Sample& sample, int32_t k, int32_t group, const FirstLevelFit& fit,
              const std::vector<double>& means, const SubjectComponents* received);
  void score(Sample& sample, Replicate& replicate);
  struct ScoredVoxels;
  ScoredVoxels scoredVoxels(const Replicate& replicate) const;
  void scoreTest(const Replicate& replicate, const ScoredVoxels& voxels, const GroupTest& test,
                 TestTallies& tallies) const;
  void addRows(const Sample& sample, std::vector<PowerRow>& rows) const;
  double analyticVoxelPower(const GroupTest& test, int32_t subjects, int32_t region, double effect,
                            int64_t tested) const;
  double analyticRoiPower(const GroupTest& test, int32_t subjects, int32_t region, double effect) const;
  double trueEffectOf(const GroupTest& test, int32_t region) const;

  const SimulationDesign& design_;
  const ActiveVoxels& truth_;
  PowerSinkSettings settings_;
  std::vector<std::string> groupNames_;
  std::optional<StudyDescription> study_;
  std::vector<double> withinVariance_;  // per effect, percent^2, from the first subject's design
  std::vector<GroupTest> tests_;
  std::vector<Sample> samples_;
  Status status_;
};

}  // namespace cohortix::host
