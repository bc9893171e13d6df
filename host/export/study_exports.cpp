#include "host/export/study_exports.h"

#include "control/cell_index.h"
#include "control/output_names.h"
#include "host/export/design_tsv.h"
#include "host/export/events_tsv.h"
#include "host/export/export_file.h"
#include "host/export/nifti_writer.h"
#include "host/io/plain_file_name.h"
#include "host/export/study_readme.h"

namespace cohortix::host {
namespace {

namespace fs = std::filesystem;

// The participants' group when the study has no between factor.
constexpr char kOnlyGroup[] = "all";

std::vector<std::string> groupNamesOf(const SimulationDesign& design) {
  if (design.NrOfBetweenFactors < 1) return {kOnlyGroup};
  const DesignFactor& factor = design.BetweenFactors[0];
  std::vector<std::string> names;
  for (int32_t level = 0; level < factor.NrOfLevels && level < kMaxLevels; ++level)
    names.emplace_back(factor.Levels[level].LevelName);
  return names;
}

BidsStudy bidsStudyOf(const ExportOptions& options, const ExportSetting& setting,
                      const SimulationDesign& design) {
  BidsStudy study;
  study.experimentName = design.ExperimentName;
  study.controlFile = setting.controlFile;
  study.readme = studyReadme(study.experimentName, setting.controlFile.filename().string(),
                             setting.repetitionTime, setting.designSummary);
  if (design.NrOfBetweenFactors > 0) study.groupFactor = design.BetweenFactors[0].FactorName;
  study.groupNames = groupNamesOf(design);
  study.largestSubjectNumber = design.NrOfSubjects;
  study.repetitionTime = setting.repetitionTime;
  study.gzip = options.gzip;
  return study;
}

std::string stemOf(const std::string& name) { return fs::path(name).stem().string(); }

// The exports' status as the session takes it: an ExportError about its file.
void throwIfFailed(const Status& status) {
  if (!status) throw ExportError(status.file(), status.message());
}

}  // namespace

const char* niftiSuffix(bool gzip) { return gzip ? ".nii.gz" : ".nii"; }

StudyExports::StudyExports(const ExportOptions& options, const ExportSetting& setting,
                           const SimulationDesign& design, DiskInterface& disk)
    : options_(options), setting_(setting), disk_(disk),
      firstTrialCondition_(FirstTrialCondition(design)) {
  for (int32_t g = 0; g < design.NrOfGroups; ++g)
    for (int32_t s = 0; s < design.NrOfSubjectsPerGroup; ++s)
      subjectsByVTCName_[outputFileName(design, g, s, kVolumeTimeCourseExtension)] = {
          subjectNumber(design, g, s), groupNumber(g)};
  if (!options_.bidsDir.empty()) {
    Result<std::unique_ptr<BidsDataset>> dataset =
        BidsDataset::open(options_.bidsDir, bidsStudyOf(options_, setting_, design), disk_);
    throwIfFailed(dataset.status());
    dataset_ = std::move(dataset).value();
  }
}

StudyExports::~StudyExports() = default;

fs::path StudyExports::besideOutput(const std::string& name, const std::string& suffix) const {
  return resolveOutputName(setting_.outputDir, stemOf(name) + suffix);
}

NiftiTimeCourse StudyExports::timeCourseOf(const VTCDocument& vtc) const {
  const VTCHeader& header = vtc.header();
  const cohortix::VTCBox box{header.XStart, header.XEnd, header.YStart, header.YEnd,
                             header.ZStart, header.ZEnd, header.Resolution};
  return {box, vtcDims(box), vtc.nrOfVolumes(), setting_.repetitionTime, vtc.data()};
}

void StudyExports::protocolSaved(const std::string& name, const ProtocolDocument& protocol) {
  if (!options_.nifti) return;
  throwIfFailed(writeEventsTsv(disk_, besideOutput(name, "_events.tsv"),
                               trialEventsOf(protocol, firstTrialCondition_, setting_.repetitionTime)));
}

void StudyExports::designMatrixSaved(const std::string& name, const DesignMatrix& matrix) {
  if (options_.nifti)
    throwIfFailed(writeDesignTsv(disk_, besideOutput(name, "_design.tsv"), matrix.predictors));
}

void StudyExports::vtcSaved(const std::string& name, const VTCDocument& vtc,
                            const ProtocolDocument& protocol, const DesignMatrix& matrix) {
  if (options_.nifti)
    throwIfFailed(writeNifti(disk_, besideOutput(name, niftiSuffix(options_.gzip)), timeCourseOf(vtc)));
  if (dataset_) addToDataset(name, vtc, protocol, matrix);
}

void StudyExports::addToDataset(const std::string& name, const VTCDocument& vtc,
                                const ProtocolDocument& protocol, const DesignMatrix& matrix) {
  const auto subject = subjectsByVTCName_.find(name);
  if (subject == subjectsByVTCName_.end())
    throw ExportError(options_.bidsDir, "cannot add " + name + " to the BIDS dataset in " +
                                            options_.bidsDir.string() +
                                            ": no subject of the study has that name");
  throwIfFailed(dataset_->addSubject({subject->second.subject, subject->second.group, timeCourseOf(vtc),
                        trialEventsOf(protocol, firstTrialCondition_, setting_.repetitionTime),
                        matrix.predictors}));
}

}  // namespace cohortix::host
