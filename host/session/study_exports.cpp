#include "host/session/study_exports.h"

#include "control/cell_index.h"
#include "host/export/design_tsv.h"
#include "host/export/events_tsv.h"
#include "host/export/export_file.h"
#include "host/export/nifti_writer.h"
#include "host/io/plain_file_name.h"
#include "host/session/group_names.h"
#include "host/export/study_readme.h"

namespace cohortix::host {
namespace {

namespace fs = std::filesystem;

BidsStudy bidsStudyOf(const ExportOptions& options, const ExportSetting& setting,
                      const SimulationDesign& design) {
  BidsStudy study;
  study.experimentName = design.ExperimentName;
  study.controlFile = setting.controlFile;
  study.readme = studyReadme(study.experimentName, setting.controlFile.filename().string(),
                             setting.repetitionTime, setting.designSummary) +
                 options.readmeNote;
  if (design.NrOfBetweenFactors > 0) study.groupFactor = design.BetweenFactors[0].FactorName;
  study.groupNames = groupNamesOf(design);
  study.largestSubjectNumber = design.NrOfSubjects;
  study.repetitionTime = setting.repetitionTime;
  study.gzip = options.gzip;
  study.gzipLevel = options.gzipLevel;
  study.resume = options.resume;
  study.sliceTiming = options.sliceTiming;
  study.multiband = options.multiband;
  return study;
}

std::string stemOf(const std::string& name) { return fs::path(name).stem().string(); }

}  // namespace

const char* niftiSuffix(bool gzip) { return gzip ? ".nii.gz" : ".nii"; }

Result<std::unique_ptr<StudyExports>> StudyExports::open(const ExportOptions& options,
                                                         const ExportSetting& setting,
                                                         const SimulationDesign& design,
                                                         DiskInterface& disk) {
  std::unique_ptr<StudyExports> exports(new StudyExports(options, setting, design, disk));
  if (!options.bidsDir.empty()) {
    Result<std::unique_ptr<BidsDataset>> dataset =
        BidsDataset::open(options.bidsDir, bidsStudyOf(options, setting, design), disk);
    if (!dataset) return dataset.status();
    exports->dataset_ = std::move(dataset).value();
  }
  return exports;
}

StudyExports::StudyExports(const ExportOptions& options, const ExportSetting& setting,
                           const SimulationDesign& design, DiskInterface& disk)
    : options_(options), setting_(setting), disk_(disk),
      firstTrialCondition_(FirstTrialCondition(design)) {}

StudyExports::~StudyExports() = default;

fs::path StudyExports::besideOutput(const std::string& name, const std::string& suffix) const {
  return resolveOutputName(setting_.outputDir, stemOf(name) + suffix);
}

NiftiTimeCourse StudyExports::timeCourseOf(const SavedSubject& subject) const {
  const VTCHeader& header = subject.header;
  const cohortix::VTCBox box{header.XStart, header.XEnd, header.YStart, header.YEnd,
                             header.ZStart, header.ZEnd, header.Resolution};
  return {box, vtcDims(box), subject.nrOfVolumes, setting_.repetitionTime, subject.data.data()};
}

std::vector<fs::path> StudyExports::exportsOf(const SavedSubject& subject) const {
  std::vector<fs::path> files;
  if (options_.nifti)
    files = {besideOutput(subject.files.protocol, "_events.tsv"),
             besideOutput(subject.files.designMatrix, "_design.tsv"),
             besideOutput(subject.files.vtc, niftiSuffix(options_.gzip))};
  if (dataset_)
    for (const fs::path& file : dataset_->subjectFiles(subject.subjectNumber)) files.push_back(file);
  return files;
}

void StudyExports::attempt(SubjectOutcomes& outcomes, const Status& exported) {
  if (!exported) outcomes.notWritten(exported.file(), exported);
}

void StudyExports::subjectSaved(const SavedSubject& subject, SubjectOutcomes& outcomes) {
  const std::string& vtc = subject.files.vtc;
  if (!subject.known()) {
    const Status why = subject.unexpected.empty()
                           ? Status::error("the host does not know the study's subjects")
                           : Status::error(subject.unexpected);
    outcomes.notWritten("the exports of " + vtc, why.context("cannot export " + vtc));
    return;
  }
  if (!subject.protocolSaved) {
    // Each export of the subject by name: none is attempted.
    const Status why = builtFromUnsavedProtocol(subject.files.protocol);
    for (const fs::path& file : exportsOf(subject))
      outcomes.notWritten(file.string(), why.context("cannot write " + file.string()));
    return;
  }
  const std::vector<TrialEvent> events =
      trialEventsOf(subject.protocol, firstTrialCondition_, setting_.repetitionTime);
  const NiftiTimeCourse bold = timeCourseOf(subject);
  if (options_.nifti) {
    attempt(outcomes,
            writeEventsTsv(disk_, besideOutput(subject.files.protocol, "_events.tsv"), events));
    attempt(outcomes, writeDesignTsv(disk_, besideOutput(subject.files.designMatrix, "_design.tsv"),
                                     subject.designMatrix.predictors));
    attempt(outcomes, writeNifti(disk_, besideOutput(vtc, niftiSuffix(options_.gzip)), bold,
                                 options_.gzipLevel));
  }
  if (dataset_) {
    attempt(outcomes, dataset_->addSubject({subject.subjectNumber, subject.groupNumber, bold,
                                            events, subject.designMatrix.predictors}));
  }
}

void StudyExports::runFinished(SubjectOutcomes& outcomes) {
  if (dataset_) attempt(outcomes, dataset_->finish());
}

}  // namespace cohortix::host
