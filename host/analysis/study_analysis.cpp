#include "host/analysis/study_analysis.h"

#include <memory>
#include <optional>

#include "host/analysis/analysis_text.h"
#include "host/analysis/motion_regressors.h"
#include "host/analysis/spatial_smoothing.h"

namespace cohortix::host {
namespace {

std::vector<std::string> namesOf(const std::vector<Predictor>& predictors) {
  std::vector<std::string> names;
  for (const Predictor& predictor : predictors) names.push_back(predictor.name);
  return names;
}

bool sameGrid(const StudyGrid& a, const StudyGrid& b) {
  return a.dims.DimX == b.dims.DimX && a.dims.DimY == b.dims.DimY && a.dims.DimZ == b.dims.DimZ &&
         a.affine == b.affine;
}

Result<StudyDescription> describe(const StudySubject& first, const StudySource& source,
                                  const AnalysisOptions& options) {
  StudyDescription study;
  study.cellNames = namesOf(first.predictors);
  study.groupNames = source.groupNames();
  study.grid = first.grid;
  if (study.cellNames.empty()) return Status::error("the design matrix has no predictor");
  study.effects = cellEffects(study.cellNames);
  for (Effect& effect : factorialContrasts(factorsFromCellNames(study.cellNames)))
    study.effects.push_back(std::move(effect));
  for (const std::string& text : options.contrasts) {
    Result<Effect> effect = parseContrast(text, static_cast<int32_t>(study.cellNames.size()));
    if (!effect) return effect.status();
    study.effects.push_back(std::move(effect.value()));
  }
  return study;
}

Status matchesStudy(const StudySubject& subject, const StudyDescription& study) {
  if (namesOf(subject.predictors) != study.cellNames)
    return Status::error("its predictors differ from the first subject's");
  if (!sameGrid(subject.grid, study.grid))
    return Status::error("its volume lies on another grid than the first subject's");
  return Status::ok();
}

Status fitSubject(StudySource& source, std::size_t index, const AnalysisOptions& options,
                  std::optional<StudyDescription>& study,
                  std::unique_ptr<GroupAccumulator>& accumulator, AnalysisSink& sink) {
  const SubjectEntry& entry = source.subjects()[index];
  Result<StudySubject> subject = source.load(index);
  if (!subject && options.skipDamaged) {
    sink.subjectSkipped(entry, subject.status());
    return Status::ok();
  }
  if (!subject) return subject.status();
  if (!study) {
    Result<StudyDescription> described = describe(subject.value(), source, options);
    if (!described) return described.status();
    study = std::move(described.value());
    accumulator = std::make_unique<GroupAccumulator>(
        study->grid.voxels(), static_cast<int32_t>(study->groupNames.size()), study->effects,
        needsSubjectValues(options));
    sink.studyStarted(*study);
  }
  if (Status status = matchesStudy(subject.value(), *study); !status)
    return std::move(status).context(entry.name);
  smoothVolumes(subject.value().data, study->grid, subject.value().volumes, options.smoothFwhmMm);
  FirstLevelOptions firstLevel = options.firstLevel;
  firstLevel.repetitionTime = subject.value().repetitionTime;
  const StudySubject& data = subject.value();
  Result<FirstLevelFit> fit = fitFirstLevel({data.data.data(), study->grid.voxels(), data.volumes},
                                            data.predictors, firstLevel, data.nuisance);
  if (!fit) return fit.status().context(entry.name);
  if (Status status = accumulator->add(entry.group, fit.value()); !status)
    return std::move(status).context(entry.name);
  sink.subjectFitted(entry, fit.value());
  return Status::ok();
}

// The test's subjects' values as the relabellings take them: one group, or the
// first group's followed by the second's.
struct TestedSubjects {
  std::vector<float> values;
  int32_t first = 0, second = 0;
};

TestedSubjects testedSubjects(const GroupAccumulator& accumulator, const GroupTest& groupTest) {
  const std::size_t e = groupTest.effect;
  TestedSubjects subjects;
  if (groupTest.group < 0) {
    subjects.values = accumulator.allSubjectValues(e);
    for (int32_t g = 0; g < accumulator.nrOfGroups(); ++g) subjects.first += accumulator.subjects(g);
    return subjects;
  }
  const std::span<const float> first = accumulator.subjectValues(groupTest.group, e);
  subjects.values.assign(first.begin(), first.end());
  subjects.first = accumulator.subjects(groupTest.group);
  if (!groupTest.twoSample) return subjects;
  const std::span<const float> second = accumulator.subjectValues(groupTest.otherGroup, e);
  subjects.values.insert(subjects.values.end(), second.begin(), second.end());
  subjects.second = accumulator.subjects(groupTest.otherGroup);
  return subjects;
}

}  // namespace

std::vector<GroupTest> groupTests(const GroupAccumulator& accumulator,
                                        const std::vector<std::string>& groupNames) {
  std::vector<GroupTest> tests;
  int32_t all = 0;
  for (int32_t g = 0; g < accumulator.nrOfGroups(); ++g) all += accumulator.subjects(g);
  const bool severalGroups = accumulator.nrOfGroups() > 1;
  for (std::size_t e = 0; e < accumulator.effects().size(); ++e) {
    if (all >= 2) tests.push_back({false, e, -1, -1, "all", "all"});
    if (!severalGroups) continue;
    for (int32_t g = 0; g < accumulator.nrOfGroups(); ++g)
      if (accumulator.subjects(g) >= 2)
        tests.push_back({false, e, g, -1, safeFileStem(groupNames[g]), groupNames[g]});
    for (int32_t g = 0; g < accumulator.nrOfGroups(); ++g)
      for (int32_t h = g + 1; h < accumulator.nrOfGroups(); ++h)
        if (accumulator.subjects(g) >= 2 && accumulator.subjects(h) >= 2)
          tests.push_back({true, e, g, h, safeFileStem(groupNames[g] + "vs" + groupNames[h]),
                           groupNames[g] + " - " + groupNames[h]});
  }
  return tests;
}

StatisticMap computeGroupMap(const GroupAccumulator& accumulator, const GroupTest& groupTest, Tail tail) {
  if (groupTest.twoSample)
    return welchT(accumulator.moments(groupTest.group, groupTest.effect),
                  accumulator.moments(groupTest.otherGroup, groupTest.effect), accumulator.mask(), tail);
  if (groupTest.group < 0) return oneSampleT(accumulator.pooled(groupTest.effect), accumulator.mask(), tail);
  return oneSampleT(accumulator.moments(groupTest.group, groupTest.effect), accumulator.mask(), tail);
}

bool needsSubjectValues(const AnalysisOptions& options) {
  return byPermutation(options.correction);
}

MapThreshold thresholdGroupMap(const GroupAccumulator& accumulator, const GroupTest& groupTest,
                               const StatisticMap& map, const AnalysisOptions& options, const StudyGrid& grid) {
  if (!needsSubjectValues(options) || !accumulator.keepsSubjectValues())
    return thresholdMap(map.p, map.df, options.correction, options.alpha, options.tail);
  const TestedSubjects subjects = testedSubjects(accumulator, groupTest);
  const std::span<const float> all(subjects.values);
  const std::span<const float> first =
      all.first(static_cast<std::size_t>(accumulator.voxels()) * static_cast<std::size_t>(subjects.first));
  const std::span<const float> second = all.subspan(first.size());
  const std::vector<uint8_t>& mask = accumulator.mask();
  if (options.correction == Correction::Fwe) {
    const MaximumDistribution null =
        groupTest.twoSample
            ? welchMaxima(first, subjects.first, second, subjects.second, mask, options.tail, options.permutation)
            : oneSampleMaxima(all, subjects.first, mask, options.tail, options.permutation);
    return thresholdByMaxima(map.p, map.t, map.df, null.maxima, null.exhaustive, options.alpha, options.tail);
  }
  // The cluster-forming threshold as a t, with the degrees of freedom of the test
  // (the pooled test's for Welch's, whose own vary from voxel to voxel and from
  // relabelling to relabelling): the same cut for the observed map and every
  // relabelled one.
  const double df = groupTest.twoSample ? subjects.first + subjects.second - 2.0 : subjects.first - 1.0;
  const ClusterSettings clusters{tCritical(options.clusterFormingP, df, options.tail),
                                 {grid.dims.DimX, grid.dims.DimY, grid.dims.DimZ}, options.connectivity};
  const MaximumDistribution null =
      groupTest.twoSample ? welchClusterMaxima(first, subjects.first, second, subjects.second, mask, options.tail,
                                               options.permutation, clusters)
                          : oneSampleClusterMaxima(all, subjects.first, mask, options.tail, options.permutation,
                                                   clusters);
  return thresholdByClusters(map.p, map.t, null.maxima, null.exhaustive, options.alpha, options.tail,
                             options.clusterFormingP, clusters);
}

Status analyseStudy(StudySource& source, const AnalysisOptions& options, AnalysisSink& sink,
                    const AnalysisProgress& progress) {
  std::optional<StudyDescription> study;
  std::unique_ptr<GroupAccumulator> accumulator;
  source.setMotionRegressors(options.motionRegressors);
  const std::vector<SubjectEntry>& subjects = source.subjects();
  for (std::size_t i = 0; i < subjects.size(); ++i) {
    if (progress) progress(i, subjects.size(), subjects[i].name);
    if (Status status = fitSubject(source, i, options, study, accumulator, sink); !status)
      return status;
  }
  if (!accumulator) return Status::error("the study has no subject");
  for (const GroupTest& groupTest : groupTests(*accumulator, study->groupNames)) {
    const StatisticMap map = computeGroupMap(*accumulator, groupTest, options.tail);
    sink.groupMapMade(groupTest, map, thresholdGroupMap(*accumulator, groupTest, map, options, study->grid));
  }
  sink.studyFinished(*accumulator);
  return Status::ok();
}

}  // namespace cohortix::host
