#include "host/export/bids_dataset.h"

#include <functional>
#include <initializer_list>
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

Status requireNoDataset(const fs::path& root) {
  std::error_code error;
  if (fs::exists(root, error) && !fs::is_empty(root, error))
    return Status::error("cannot write a BIDS dataset into " + root.string() +
                         ": the folder is not empty")
        .aboutFile(root.string());
  return Status::ok();
}

Result<std::string> fileText(DiskInterface& disk, const fs::path& file) {
  Result<std::string> text = disk.readFile(file);
  if (!text) return text.status().context("cannot read " + file.string()).aboutFile(file.string());
  return text;
}

// The first failure of a sequence of steps, or ok when every step went well.
Status firstFailure(std::initializer_list<std::function<Status()>> steps) {
  for (const auto& step : steps) {
    Status status = step();
    if (!status) return status;
  }
  return Status::ok();
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
      task_(bidsTaskLabel(study_.experimentName)) {}

Result<std::unique_ptr<BidsDataset>> BidsDataset::open(fs::path root, BidsStudy study,
                                                       DiskInterface& disk) {
  Status free = requireNoDataset(root);
  if (!free) return free;
  return std::unique_ptr<BidsDataset>(new BidsDataset(std::move(root), std::move(study), disk));
}

Status BidsDataset::writeDatasetFiles() const {
  const fs::path derivatives = root_ / kDerivativeFolder;
  return firstFailure({
      [&] { return makeExportFolder(disk_, root_ / "code"); },
      [&] {
        return writeExportText(disk_, root_ / "dataset_description.json",
                               datasetDescriptionJson(study_.experimentName));
      },
      [&] { return writeExportText(disk_, root_ / "README", study_.readme); },
      [&] {
        const Result<std::string> control = fileText(disk_, study_.controlFile);
        if (!control) return control.status();
        return writeExportText(disk_, root_ / "code" / study_.controlFile.filename(),
                               control.value());
      },
      [&] {
        return writeExportText(disk_, root_ / "participants.json",
                               participantsJson(study_.groupFactor, study_.groupNames));
      },
      [&] { return writeParticipants(); },
      [&] { return makeExportFolder(disk_, derivatives); },
      [&] {
        return writeExportText(disk_, derivatives / "dataset_description.json",
                               derivativeDescriptionJson(study_.experimentName));
      },
  });
}

Status BidsDataset::writeParticipants() const {
  return writeExportText(disk_, root_ / "participants.tsv", participantsTable(participants_));
}

Result<std::string> BidsDataset::groupName(int32_t groupNumber) const {
  if (groupNumber < 1 || groupNumber > static_cast<int32_t>(study_.groupNames.size()))
    return Status::error("group " + std::to_string(groupNumber) + " is not in the study");
  return study_.groupNames[static_cast<std::size_t>(groupNumber - 1)];
}

Status BidsDataset::writeSubjectFiles(const BidsSubject& subject, const std::string& label) const {
  const std::string stem = bidsFunctionalStem(label, task_);
  const fs::path func = root_ / bidsSubjectId(label) / "func";
  const fs::path derived = root_ / kDerivativeFolder / bidsSubjectId(label) / "func";
  return firstFailure({
      [&] { return makeExportFolder(disk_, func); },
      [&] { return makeExportFolder(disk_, derived); },
      [&] {
        return writeNifti(disk_, func / (stem + (study_.gzip ? "_bold.nii.gz" : "_bold.nii")),
                          subject.bold);
      },
      [&] {
        return writeExportText(disk_, func / (stem + "_bold.json"),
                               boldJson(task_, study_.repetitionTime, subject.bold.dims.DimZ));
      },
      [&] { return writeEventsTsv(disk_, func / (stem + "_events.tsv"), subject.events); },
      [&] {
        return writeDesignTsv(disk_, derived / (stem + "_desc-design_timeseries.tsv"),
                              subject.design);
      },
  });
}

std::vector<fs::path> BidsDataset::subjectFiles(int32_t subjectNumber) const {
  const std::string label = bidsSubjectLabel(subjectNumber, study_.largestSubjectNumber);
  const std::string stem = bidsFunctionalStem(label, task_);
  const fs::path func = root_ / bidsSubjectId(label) / "func";
  const fs::path derived = root_ / kDerivativeFolder / bidsSubjectId(label) / "func";
  return {func / (stem + (study_.gzip ? "_bold.nii.gz" : "_bold.nii")), func / (stem + "_bold.json"),
          func / (stem + "_events.tsv"), derived / (stem + "_desc-design_timeseries.tsv")};
}

Status BidsDataset::addSubject(const BidsSubject& subject) {
  const std::string label = bidsSubjectLabel(subject.subjectNumber, study_.largestSubjectNumber);
  const Result<std::string> group = groupName(subject.groupNumber);
  // Not one of the run's groups: the participants table cannot say which it is.
  if (!group) return Status(group.status()).aboutFile((root_ / "participants.tsv").string());
  if (!datasetFilesWritten_) {
    Status written = writeDatasetFiles();
    if (!written) return written;
    datasetFilesWritten_ = true;
  }
  Status written = writeSubjectFiles(subject, label);
  if (!written) return written;
  participants_.push_back({bidsSubjectId(label), group.value()});
  return writeParticipants();
}

}  // namespace cohortix::host
