#include "host/analysis/study_analysis.h"

#include <memory>
#include <optional>

#include "host/analysis/analysis_text.h"

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
  FirstLevelOptions firstLevel = options.firstLevel;
  firstLevel.repetitionTime = subject.value().repetitionTime;
  const StudySubject& data = subject.value();
  Result<FirstLevelFit> fit = fitFirstLevel({data.data.data(), study->grid.voxels(), data.volumes},
                                            data.predictors, firstLevel);
  if (!fit) return fit.status().context(entry.name);
  if (Status status = accumulator->add(entry.group, fit.value()); !status)
    return std::move(status).context(entry.name);
  sink.subjectFitted(entry, fit.value());
  return Status::ok();
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

bool needsSubjectValues(const AnalysisOptions& options) { return options.correction == Correction::Fwe; }

MapThreshold thresholdGroupMap(const GroupAccumulator& accumulator, const GroupTest& groupTest,
                               const StatisticMap& map, const AnalysisOptions& options) {
  if (options.correction != Correction::Fwe || !accumulator.keepsSubjectValues())
    return thresholdMap(map.p, map.df, options.correction, options.alpha, options.tail);
  const std::size_t e = groupTest.effect;
  MaximumDistribution null;
  if (groupTest.twoSample) {
    null = welchMaxima(accumulator.subjectValues(groupTest.group, e), accumulator.subjects(groupTest.group),
                       accumulator.subjectValues(groupTest.otherGroup, e),
                       accumulator.subjects(groupTest.otherGroup), accumulator.mask(), options.tail,
                       options.permutation);
  } else if (groupTest.group < 0) {
    int32_t subjects = 0;
    for (int32_t g = 0; g < accumulator.nrOfGroups(); ++g) subjects += accumulator.subjects(g);
    null = oneSampleMaxima(accumulator.allSubjectValues(e), subjects, accumulator.mask(), options.tail,
                           options.permutation);
  } else {
    null = oneSampleMaxima(accumulator.subjectValues(groupTest.group, e), accumulator.subjects(groupTest.group),
                           accumulator.mask(), options.tail, options.permutation);
  }
  return thresholdByMaxima(map.p, map.t, map.df, null.maxima, null.exhaustive, options.alpha, options.tail);
}

Status analyseStudy(StudySource& source, const AnalysisOptions& options, AnalysisSink& sink,
                    const AnalysisProgress& progress) {
  std::optional<StudyDescription> study;
  std::unique_ptr<GroupAccumulator> accumulator;
  const std::vector<SubjectEntry>& subjects = source.subjects();
  for (std::size_t i = 0; i < subjects.size(); ++i) {
    if (progress) progress(i, subjects.size(), subjects[i].name);
    if (Status status = fitSubject(source, i, options, study, accumulator, sink); !status)
      return status;
  }
  if (!accumulator) return Status::error("the study has no subject");
  for (const GroupTest& groupTest : groupTests(*accumulator, study->groupNames)) {
    const StatisticMap map = computeGroupMap(*accumulator, groupTest, options.tail);
    sink.groupMapMade(groupTest, map, thresholdGroupMap(*accumulator, groupTest, map, options));
  }
  sink.studyFinished(*accumulator);
  return Status::ok();
}

}  // namespace cohortix::host
