#include "host/export/bids_dataset.h"

#include <stdexcept>
#include <system_error>

#include "host/export/bids_names.h"
#include "host/export/bids_sidecars.h"
#include "host/io/disk_interface.h"
#include "host/export/export_file.h"
#include "host/export/tsv_field.h"

namespace cohortix::host {
namespace {

namespace fs = std::filesystem;

constexpr char kDerivativeFolder[] = "derivatives/cohortix";

void requireNoDataset(const fs::path& root) {
  std::error_code error;
  if (fs::exists(root, error) && !fs::is_empty(root, error))
    throw ExportError(root, "cannot write a BIDS dataset into " + root.string() +
                                ": the folder is not empty");
}

std::string fileText(DiskInterface& disk, const fs::path& file) {
  Result<std::string> text = disk.readFile(file);
  if (!text) throw ExportError(file, text.status().context("cannot read " + file.string()).message());
  return std::move(text).value();
}

std::string participantsTable(const auto& participants) {
  std::string text = "participant_id\tgroup\n";
  for (const auto& participant : participants)
    text += participant.id + '\t' + tsvField(participant.group) + '\n';
  return text;
}

}  // namespace

BidsDataset::BidsDataset(fs::path root, BidsStudy study, DiskInterface& disk)
    : disk_(disk),
      root_(std::move(root)),
      study_(std::move(study)),
      task_(bidsTaskLabel(study_.experimentName)) {
  requireNoDataset(root_);
}

void BidsDataset::writeDatasetFiles() const {
  makeExportFolder(disk_, root_ / "code");
  writeExportText(disk_, root_ / "dataset_description.json",
                  datasetDescriptionJson(study_.experimentName));
  writeExportText(disk_, root_ / "README", study_.readme);
  writeExportText(disk_, root_ / "code" / study_.controlFile.filename(),
                  fileText(disk_, study_.controlFile));
  writeExportText(disk_, root_ / "participants.json",
                  participantsJson(study_.groupFactor, study_.groupNames));
  writeParticipants();
  makeExportFolder(disk_, root_ / kDerivativeFolder);
  writeExportText(disk_, root_ / kDerivativeFolder / "dataset_description.json",
                  derivativeDescriptionJson(study_.experimentName));
}

void BidsDataset::writeParticipants() const {
  writeExportText(disk_, root_ / "participants.tsv", participantsTable(participants_));
}

std::string BidsDataset::groupName(int32_t groupNumber) const {
  if (groupNumber < 1 || groupNumber > static_cast<int32_t>(study_.groupNames.size()))
    throw ExportError(root_ / "participants.tsv",
                      "group " + std::to_string(groupNumber) + " is not in the study");
  return study_.groupNames[static_cast<std::size_t>(groupNumber - 1)];
}

void BidsDataset::addSubject(const BidsSubject& subject) {
  const std::string label = bidsSubjectLabel(subject.subjectNumber, study_.largestSubjectNumber);
  const std::string stem = bidsFunctionalStem(label, task_);
  const fs::path func = root_ / bidsSubjectId(label) / "func";
  const fs::path derived = root_ / kDerivativeFolder / bidsSubjectId(label) / "func";
  const std::string group = groupName(subject.groupNumber);
  if (!datasetFilesWritten_) writeDatasetFiles();
  datasetFilesWritten_ = true;
  makeExportFolder(disk_, func);
  makeExportFolder(disk_, derived);
  writeNifti(disk_, func / (stem + (study_.gzip ? "_bold.nii.gz" : "_bold.nii")), subject.bold);
  writeExportText(disk_, func / (stem + "_bold.json"),
                  boldJson(task_, study_.repetitionTime, subject.bold.dims.DimZ));
  writeEventsTsv(disk_, func / (stem + "_events.tsv"), subject.events);
  writeDesignTsv(disk_, derived / (stem + "_desc-design_timeseries.tsv"), subject.design);
  participants_.push_back({bidsSubjectId(label), group});
  writeParticipants();
}

}  // namespace cohortix::host
