#pragma once
// The in-memory analysis of a power run: every subject of a replicate is fitted as
// `analyze` fits it (nothing is written), its effects join its replicate's group
// level, and when a replicate's last subject has come its group maps are made,
// thresholded and scored against the truth. One run may hold the replicates of
// several sample sizes: a subject is fitted once and joins the replicate of every
// size it belongs to (size n takes each group's first n subjects of the
// replicate). Only the replicates under way are held, one per sample size when the
// replicates come one after the other. Sinks on several threads share their
// scores (shareScoresWith): each replicate's scores, a few numbers per test and
// region, are tallied in replicate order as soon as the replicates before it have
// been, so the table is the one a single sink would have made of them all, bit for
// bit, and only the replicates that came early wait.

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "control/simulation_design.h"
#include "host/analysis/first_level_fit.h"
#include "host/analysis/study_analysis.h"
#include "host/power/power_row.h"
#include "host/power/power_tally.h"
#include "host/power/replicate_scores.h"
#include "host/analysis/asked_regions.h"
#include "host/session/saved_subject.h"

namespace cohortix::host {

// Which subjects a power run's sink analyses, and how.
struct PowerSinkSettings {
  // Subjects per group of every sample size.
  std::vector<int32_t> sizes;
  // The replicates scored: firstReplicate .. firstReplicate + replicates - 1 (a
  // block of a power analysis split across processes, or all of them).
  int32_t firstReplicate = 0;
  int32_t replicates = 0;
  // Keep every replicate's scores (keptScores) as well as tallying them.
  bool keepScores = false;
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

class PowerSink {
 public:
  // `design`: the study of one replicate (subjects per group the largest size); the
  // design and truth must outlive the sink.
  PowerSink(const SimulationDesign& design, const ActiveVoxels& truth, PowerSinkSettings settings);
  ~PowerSink();
  PowerSink(PowerSink&&) noexcept;

  // Subject `subject` (its number in the study of `design`) of replicate k; the
  // subjects of a replicate come in run order. Failures are kept in status().
  void add(const SavedSubject& subject, int32_t k);
  // From now on scores into the tallies of `other` (a sink of the same sizes on
  // another thread), and the table is both sinks'.
  void shareScoresWith(const PowerSink& other);
  // Takes over what `other` learnt of the study, should this sink have seen no
  // subject (the tallies being shared already).
  void absorb(PowerSink&& other);

  // The first failure (a subject that could not be analysed); ok otherwise.
  const Status& status() const { return status_; }
  // The fewest replicates scored of any sample size.
  int32_t replicatesScored() const;
  // The table, in sample size, test, region and measure order.
  std::vector<PowerRow> rows() const;
  // With keepScores, per sample size (in the order of the sizes), every replicate's
  // scores in replicate order.
  std::vector<std::vector<ReplicateScores>> keptScores() const;

 private:
  struct Replicate;
  struct Sample;
  struct Scores;
  Status analyse(const SavedSubject& subject, int32_t k);
  Status startStudy(const SavedSubject& subject);
  std::vector<double> regionMeans(const FirstLevelFit& fit, const SubjectComponents* received) const;
  Status join(Sample& sample, int32_t k, int32_t group, const FirstLevelFit& fit,
              const std::vector<double>& means, const SubjectComponents* received);
  void score(std::size_t sample, int32_t k, Replicate& replicate);
  struct ScoredVoxels;
  ScoredVoxels scoredVoxels(const Replicate& replicate) const;
  TestScore scoreTest(const Replicate& replicate, const ScoredVoxels& voxels, const GroupTest& test) const;
  void addRows(const Sample& sample, const std::vector<TestTallies>& tallies,
               std::vector<PowerRow>& rows) const;
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
  std::shared_ptr<Scores> scores_;
  Status status_;
};

}  // namespace cohortix::host
