#include "host/power/power_sink.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <mutex>

#include "host/analysis/analytic_power.h"
#include "host/session/group_names.h"
#include "host/analysis/first_level_fit.h"
#include "host/analysis/group_tests.h"

namespace cohortix::host {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
// A replicate keeps the regions its subjects received as one bit each per voxel.
static_assert(kMaxRegions <= 32);

std::vector<std::string> namesOf(const std::vector<Predictor>& predictors) {
  std::vector<std::string> names;
  for (const Predictor& predictor : predictors) names.push_back(predictor.name);
  return names;
}

void addValue(EffectMoments& moments, std::size_t slot, double value) {
  const double n = moments.subjects;  // already counts this subject
  const double delta = value - moments.mean[slot];
  moments.mean[slot] += delta / n;
  moments.squaredDeviations[slot] += delta * (value - moments.mean[slot]);
}

double norm(const std::vector<double>& weights) {
  double sum = 0.0;
  for (double w : weights) sum += w * w;
  return std::sqrt(sum);
}

bool significant(const StatisticMap& map, const MapThreshold& threshold, int64_t v) {
  const auto slot = static_cast<std::size_t>(v);
  return threshold.passes(slot, map.p[slot], map.t[slot]);
}

}  // namespace

struct PowerSink::Replicate {
  Replicate(int64_t voxels, int32_t groups, const std::vector<Effect>& effects, int32_t regions,
            bool keepSubjectValues)
      : accumulator(voxels, groups, effects, keepSubjectValues) {
    // Per group and effect, then all groups together: the subjects' region means.
    regionMeans.resize(static_cast<std::size_t>(groups + 1) * effects.size());
    for (EffectMoments& moments : regionMeans) {
      moments.mean.assign(static_cast<std::size_t>(regions), 0.0);
      moments.squaredDeviations.assign(static_cast<std::size_t>(regions), 0.0);
    }
  }
  GroupAccumulator accumulator;
  std::vector<EffectMoments> regionMeans;
  int32_t subjectsSeen = 0;
  // Per voxel, bit r for region r when it wrote the voxel last in a subject of the
  // replicate (only when scoring against the regions received).
  std::vector<uint32_t> received;

  void addReceived(const SubjectComponents& subject) {
    if (received.empty()) received.assign(subject.finalRegion.size(), 0);
    for (std::size_t v = 0; v < subject.finalRegion.size() && v < received.size(); ++v)
      if (const int16_t label = subject.finalRegion[v]; label > 0 && label <= 32)
        received[v] |= uint32_t{1} << (label - 1);
  }
};

// What one replicate's maps are scored against: every region's voxels and the
// voxels no region reaches.
struct PowerSink::ScoredVoxels {
  std::vector<const std::vector<int64_t>*> regions;
  const std::vector<uint8_t>* null = nullptr;
  // The replicate's own, when scored against the regions received.
  std::vector<std::vector<int64_t>> ownRegions;
  std::vector<uint8_t> ownNull;
};

struct PowerSink::Sample {
  int32_t subjects = 0;  // per group
  std::map<int32_t, std::unique_ptr<Replicate>> underWay;
};

// The scores of one set of replicates, from every sink that shares them: each
// replicate's are tallied as soon as every replicate before it has been, so only
// those that came early wait (about one per other thread).
struct PowerSink::Scores {
  struct OfSample {
    std::map<int32_t, ReplicateScores> waiting;  // per replicate
    int32_t tallied = 0;                         // replicates first .. tallied - 1
    std::vector<TestTallies> tallies;            // per test
    std::vector<ReplicateScores> kept;           // with keepScores
  };
  std::mutex mutex;
  std::vector<OfSample> samples;
};

PowerSink::PowerSink(const SimulationDesign& design, const ActiveVoxels& truth, PowerSinkSettings settings)
    : design_(design), truth_(truth), settings_(std::move(settings)) {
  groupNames_ = groupNamesOf(design);
  groupNames_.resize(static_cast<std::size_t>(std::max(design.NrOfGroups, 1)), "");
  for (std::size_t g = 0; g < groupNames_.size(); ++g)
    if (groupNames_[g].empty()) groupNames_[g] = "G" + std::to_string(g + 1);
  for (int32_t subjects : settings_.sizes) samples_.push_back({subjects, {}});
  scores_ = std::make_shared<Scores>();
  scores_->samples.resize(samples_.size());
  for (Scores::OfSample& sample : scores_->samples) sample.tallied = settings_.firstReplicate;
}

PowerSink::~PowerSink() = default;
PowerSink::PowerSink(PowerSink&&) noexcept = default;

void PowerSink::add(const SavedSubject& subject, int32_t k) {
  if (!status_) return;
  status_ = analyse(subject, k);
}

void PowerSink::shareScoresWith(const PowerSink& other) { scores_ = other.scores_; }

void PowerSink::absorb(PowerSink&& other) {
  if (status_ && !other.status_) status_ = other.status_;
  if (!study_ && other.study_) {
    study_ = std::move(other.study_);
    withinVariance_ = std::move(other.withinVariance_);
  }
  if (tests_.empty()) tests_ = std::move(other.tests_);
}

int32_t PowerSink::replicatesScored() const {
  const std::lock_guard lock(scores_->mutex);
  int32_t fewest = settings_.replicates;
  for (const Scores::OfSample& sample : scores_->samples)
    fewest = std::min(fewest, sample.tallied - settings_.firstReplicate);
  return fewest;
}

Status PowerSink::startStudy(const SavedSubject& subject) {
  StudyDescription study;
  study.cellNames = namesOf(subject.designMatrix.predictors);
  if (study.cellNames.empty()) return Status::error("the design matrix has no predictor");
  study.effects = cellEffects(study.cellNames);
  for (Effect& effect : factorialContrasts(factorsFromCellNames(study.cellNames)))
    study.effects.push_back(std::move(effect));
  for (const std::string& text : settings_.analysis.contrasts) {
    Result<Effect> effect = parseContrast(text, static_cast<int32_t>(study.cellNames.size()));
    if (!effect) return effect.status();
    study.effects.push_back(std::move(effect.value()));
  }
  study.groupNames = groupNames_;
  study.grid.dims = {subject.dims.x, subject.dims.y, subject.dims.z};  // clusters join neighbours on it
  // The analytic model's first-level variance, from this subject's design: the
  // simulated noise is white with the design's SD in percent of the baseline.
  FirstLevelOptions firstLevel = settings_.analysis.firstLevel;
  firstLevel.repetitionTime = subject.repetitionTime;
  Result<LinearModel> model =
      firstLevelModel(subject.designMatrix.predictors, subject.nrOfVolumes, firstLevel);
  if (!model) return model.status();
  const NoiseModel noise{design_.NoiseSDPercent, 0.0};
  for (const Effect& effect : study.effects)
    withinVariance_.push_back(withinSubjectVariance(model.value(), effect.weights, noise, false));
  study_ = std::move(study);
  return Status::ok();
}

// The voxels region r wrote last in the subject.
std::vector<int64_t> receivedVoxels(const SubjectComponents& subject, int32_t r) {
  std::vector<int64_t> voxels;
  for (std::size_t v = 0; v < subject.finalRegion.size(); ++v)
    if (subject.finalRegion[v] == r + 1) voxels.push_back(static_cast<int64_t>(v));
  return voxels;
}

// The subject's effect averaged over each region's voxels (those it received, when
// given): effects x regions.
std::vector<double> PowerSink::regionMeans(const FirstLevelFit& fit,
                                           const SubjectComponents* received) const {
  std::vector<std::vector<int64_t>> own;
  if (received != nullptr)
    for (int32_t r = 0; r < truth_.regions(); ++r) own.push_back(receivedVoxels(*received, r));
  std::vector<double> means;
  for (const Effect& effect : study_->effects)
    for (int32_t r = 0; r < truth_.regions(); ++r) {
      const std::vector<int64_t>& inside =
          received != nullptr ? own[static_cast<std::size_t>(r)] : truth_.regionVoxels(r);
      double sum = 0.0;
      for (int64_t v : inside)
        for (std::size_t c = 0; c < effect.weights.size(); ++c)
          sum += effect.weights[c] * fit.beta(static_cast<int32_t>(c), v);
      means.push_back(inside.empty() ? kNaN : sum / static_cast<double>(inside.size()));
    }
  return means;
}

Status PowerSink::analyse(const SavedSubject& subject, int32_t k) {
  if (!subject.known())
    return Status::error(subject.unexpected.empty() ? "the plug-in saved a subject the study does not have"
                                                    : subject.unexpected);
  if (!study_)
    if (Status started = startStudy(subject); !started) return started.context(subject.files.vtc);
  if (namesOf(subject.designMatrix.predictors) != study_->cellNames)
    return Status::error(subject.files.vtc + ": its predictors differ from the first subject's");
  const int32_t group = subject.groupNumber - 1;
  const int32_t withinGroup = subject.subjectNumber - 1 - group * design_.NrOfSubjectsPerGroup;
  const auto wants = [&](const Sample& sample) { return withinGroup < sample.subjects; };
  if (k < settings_.firstReplicate || k - settings_.firstReplicate >= settings_.replicates ||
      !std::any_of(samples_.begin(), samples_.end(), wants))
    return Status::ok();
  const int64_t voxels = static_cast<int64_t>(subject.data.size()) /
                         std::max<int64_t>(1, subject.nrOfVolumes);
  FirstLevelOptions firstLevel = settings_.analysis.firstLevel;
  firstLevel.repetitionTime = subject.repetitionTime;
  Result<FirstLevelFit> fit = fitFirstLevel({subject.data.data(), voxels, subject.nrOfVolumes},
                                            subject.designMatrix.predictors, firstLevel);
  if (!fit) return fit.status().context(subject.files.vtc);
  const SubjectComponents* received = nullptr;
  if (settings_.receivedRegions) {
    if (subject.components == nullptr)
      return Status::error("the loaded plug-in does not report the regions its subjects "
                           "received: score against the regions asked (--truth-regions asked)");
    received = subject.components.get();
  }
  const std::vector<double> means = regionMeans(fit.value(), received);
  for (Sample& sample : samples_) {
    if (!wants(sample)) continue;
    if (Status joined = join(sample, k, group, fit.value(), means, received); !joined)
      return std::move(joined).context(subject.files.vtc);
  }
  return Status::ok();
}

// The subject joins replicate k of the sample; the replicate is scored when its
// last subject has come.
Status PowerSink::join(Sample& sample, int32_t k, int32_t group, const FirstLevelFit& fit,
                       const std::vector<double>& means, const SubjectComponents* received) {
  std::unique_ptr<Replicate>& replicate = sample.underWay[k];
  if (!replicate)
    replicate = std::make_unique<Replicate>(fit.voxels, design_.NrOfGroups, study_->effects,
                                            truth_.regions(), needsSubjectValues(settings_.analysis));
  if (Status added = replicate->accumulator.add(group, fit); !added) return added;
  if (received != nullptr) replicate->addReceived(*received);
  const std::size_t effects = study_->effects.size();
  const auto regions = static_cast<std::size_t>(truth_.regions());
  for (std::size_t e = 0; e < effects; ++e) {
    EffectMoments& own = replicate->regionMeans[static_cast<std::size_t>(group) * effects + e];
    EffectMoments& all = replicate->regionMeans[static_cast<std::size_t>(design_.NrOfGroups) * effects + e];
    own.subjects += 1;
    all.subjects += 1;
    for (std::size_t r = 0; r < regions; ++r) {
      addValue(own, r, means[e * regions + r]);
      addValue(all, r, means[e * regions + r]);
    }
  }
  if (++replicate->subjectsSeen == sample.subjects * design_.NrOfGroups) {
    score(static_cast<std::size_t>(&sample - samples_.data()), k, *replicate);
    sample.underWay.erase(k);
  }
  return Status::ok();
}

void PowerSink::score(std::size_t sample, int32_t k, Replicate& replicate) {
  if (tests_.empty()) tests_ = groupTests(replicate.accumulator, groupNames_);
  const ScoredVoxels voxels = scoredVoxels(replicate);
  ReplicateScores scores;
  for (const GroupTest& test : tests_) scores.push_back(scoreTest(replicate, voxels, test));
  const std::lock_guard lock(scores_->mutex);
  Scores::OfSample& of = scores_->samples[sample];
  of.waiting[k] = std::move(scores);
  for (auto next = of.waiting.begin(); next != of.waiting.end() && next->first == of.tallied;
       next = of.waiting.erase(next), ++of.tallied) {
    if (of.tallies.empty())
      of.tallies.assign(next->second.size(), TestTallies(static_cast<std::size_t>(truth_.regions())));
    for (std::size_t i = 0; i < of.tallies.size() && i < next->second.size(); ++i)
      of.tallies[i].add(next->second[i]);
    if (settings_.keepScores) of.kept.push_back(std::move(next->second));
  }
}

std::vector<std::vector<ReplicateScores>> PowerSink::keptScores() const {
  const std::lock_guard lock(scores_->mutex);
  std::vector<std::vector<ReplicateScores>> kept;
  for (const Scores::OfSample& sample : scores_->samples) kept.push_back(sample.kept);
  return kept;
}

PowerSink::ScoredVoxels PowerSink::scoredVoxels(const Replicate& replicate) const {
  ScoredVoxels voxels;
  const auto regions = static_cast<std::size_t>(truth_.regions());
  if (!settings_.receivedRegions) {
    for (std::size_t r = 0; r < regions; ++r)
      voxels.regions.push_back(&truth_.regionVoxels(static_cast<int32_t>(r)));
    voxels.null = &truth_.nullVoxels();
    return voxels;
  }
  voxels.ownRegions.resize(regions);
  voxels.ownNull.assign(replicate.received.size(), 0);
  for (std::size_t v = 0; v < replicate.received.size(); ++v) {
    const uint32_t bits = replicate.received[v];
    voxels.ownNull[v] = bits == 0 ? 1 : 0;
    for (std::size_t r = 0; r < regions && r < 32; ++r)
      if ((bits >> r) & 1U) voxels.ownRegions[r].push_back(static_cast<int64_t>(v));
  }
  for (const std::vector<int64_t>& own : voxels.ownRegions) voxels.regions.push_back(&own);
  voxels.null = &voxels.ownNull;
  return voxels;
}

double PowerSink::trueEffectOf(const GroupTest& test, int32_t region) const {
  const Effect& effect = study_->effects[test.effect];
  const double first = truth_.trueEffect(region, effect, test.group);
  return test.twoSample ? first - truth_.trueEffect(region, effect, test.otherGroup) : first;
}

TestScore PowerSink::scoreTest(const Replicate& replicate, const ScoredVoxels& voxels,
                               const GroupTest& test) const {
  TestScore score;
  score.regions.resize(static_cast<std::size_t>(truth_.regions()));
  const StatisticMap map = computeGroupMap(replicate.accumulator, test, settings_.analysis.tail);
  const MapThreshold threshold = thresholdGroupMap(replicate.accumulator, test, map, settings_.analysis, study_->grid);
  score.tested = threshold.tested;
  for (int32_t r = 0; r < truth_.regions(); ++r) {
    const std::vector<int64_t>& inside = *voxels.regions[static_cast<std::size_t>(r)];
    TestScore::Region& region = score.regions[static_cast<std::size_t>(r)];
    for (int64_t v : inside) region.found += significant(map, threshold, v) ? 1 : 0;
    region.voxels = static_cast<int64_t>(inside.size());
    if (trueEffectOf(test, r) != 0.0) score.trueDiscoveries += region.found;
  }
  // The region means: one planned test per region, at alpha without correction.
  const std::size_t effects = study_->effects.size();
  const auto slot = [&](int32_t group) {
    return replicate.regionMeans[static_cast<std::size_t>(group < 0 ? design_.NrOfGroups : group) * effects +
                                 test.effect];
  };
  const std::vector<uint8_t> everyRegion(static_cast<std::size_t>(truth_.regions()), 1);
  const StatisticMap means = test.twoSample
                                 ? welchT(slot(test.group), slot(test.otherGroup), everyRegion, settings_.analysis.tail)
                                 : oneSampleT(slot(test.group), everyRegion, settings_.analysis.tail);
  for (int32_t r = 0; r < truth_.regions(); ++r) {
    const double p = means.p[static_cast<std::size_t>(r)];
    score.regions[static_cast<std::size_t>(r)].roi = !std::isnan(p) && p <= settings_.analysis.alpha;
  }
  const std::vector<uint8_t>& null = *voxels.null;
  for (std::size_t v = 0; v < null.size(); ++v) {
    if (!null[v] || std::isnan(map.p[v])) continue;
    ++score.nullTested;
    score.falsePositives += significant(map, threshold, static_cast<int64_t>(v)) ? 1 : 0;
  }
  return score;
}

// The noncentral t applies to a one-sample test whose subjects all draw their
// effect around the same table value (effects per group, one group in the test)
// in a region whose centre does not move.
double PowerSink::analyticRoiPower(const GroupTest& test, int32_t subjects, int32_t region,
                                   double effect) const {
  if (settings_.hostNoise || test.twoSample || !design_.EffectsPerGroup) return kNaN;
  if (test.group < 0 && design_.NrOfGroups > 1) return kNaN;
  if (design_.Regions[region].CenterSD != 0.0f) return kNaN;
  const std::size_t voxels = truth_.regionVoxels(region).size();
  if (voxels == 0) return kNaN;
  const double betweenSD = design_.SubjectEffectSD * norm(study_->effects[test.effect].weights);
  // The noise is independent from voxel to voxel, the subject's effect is shared.
  OneSamplePowerQuestion question{effect, betweenSD,
                                  withinVariance_[test.effect] / static_cast<double>(voxels),
                                  subjects,
                                  settings_.analysis.alpha, settings_.analysis.tail};
  return oneSampleGroupPower(question);
}

double PowerSink::analyticVoxelPower(const GroupTest& test, int32_t subjects, int32_t region,
                                     double effect, int64_t tested) const {
  if (std::isnan(analyticRoiPower(test, subjects, region, effect))) return kNaN;
  double alpha = settings_.analysis.alpha;
  // The data-dependent thresholds have no closed form: FDR's moves with the
  // discoveries, the permutation thresholds with the relabelled maps.
  const Correction correction = settings_.analysis.correction;
  if (correction == Correction::Fdr || byPermutation(correction)) return kNaN;
  if (settings_.analysis.correction == Correction::Bonferroni) alpha /= static_cast<double>(std::max<int64_t>(1, tested));
  const double betweenSD = design_.SubjectEffectSD * norm(study_->effects[test.effect].weights);
  return oneSampleGroupPower({effect, betweenSD, withinVariance_[test.effect], subjects, alpha, settings_.analysis.tail});
}

std::vector<PowerRow> PowerSink::rows() const {
  const std::lock_guard lock(scores_->mutex);
  std::vector<PowerRow> rows;
  for (std::size_t i = 0; i < samples_.size(); ++i) addRows(samples_[i], scores_->samples[i].tallies, rows);
  return rows;
}

void PowerSink::addRows(const Sample& sample, const std::vector<TestTallies>& all,
                        std::vector<PowerRow>& rows) const {
  for (std::size_t i = 0; i < tests_.size() && i < all.size(); ++i) {
    const GroupTest& test = tests_[i];
    const TestTallies& tallies = all[i];
    const std::string& effectName = study_->effects[test.effect].name;
    const auto row = [&](const std::string& region, const char* measure, double truth,
                         const RowEstimate& estimate, double analytic) {
      rows.push_back({sample.subjects, test.scope, effectName, region, measure,
                      truth, estimate.estimate, analytic, estimate.replicates});
    };
    const std::vector<RowEstimate> estimates = tallies.estimates();
    std::size_t next = 0;
    for (int32_t r = 0; r < truth_.regions(); ++r) {
      const std::string name = "Region" + std::to_string(r + 1);
      const double effect = trueEffectOf(test, r);
      row(name, "detection", effect, estimates[next++], kNaN);
      row(name, "sensitivity", effect, estimates[next++],
          analyticVoxelPower(test, sample.subjects, r, effect, tallies.tested));
      row(name, "roi_power", effect, estimates[next++], analyticRoiPower(test, sample.subjects, r, effect));
    }
    double fpr = kNaN;
    const AnalysisOptions& analysis = settings_.analysis;
    if (analysis.correction == Correction::None) fpr = analysis.alpha;
    if (analysis.correction == Correction::Bonferroni && tallies.tested > 0)
      fpr = analysis.alpha / static_cast<double>(tallies.tested);
    row("outside", "family_wise", kNaN, estimates[next++], kNaN);
    row("outside", "false_positive_rate", kNaN, estimates[next++], fpr);
    row("outside", "false_discovery", kNaN, estimates[next++], kNaN);
  }
}

}  // namespace cohortix::host
