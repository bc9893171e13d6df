#include "host/export/bids_dataset.h"

#include <functional>
#include <initializer_list>
#include <system_error>

#include "host/export/bids_names.h"
#include "host/export/bids_sidecars.h"
#include "host/export/bids_unfinished.h"
#include "host/export/checksum_disk.h"
#include "host/io/disk_interface.h"
#include "host/export/export_file.h"
#include "host/export/tsv_field.h"

namespace cohortix::host {
namespace {

namespace fs = std::filesystem;

constexpr char kDerivativeFolder[] = "derivatives/cohortix";

Status requireNoDataset(const fs::path& root) {
  std::error_code error;
  if (!fs::exists(root, error) || fs::is_empty(root, error)) return Status::ok();
  const std::string why = markedUnfinished(root)
                              ? ": it holds an unfinished dataset, which --resume continues"
                              : ": the folder is not empty";
  return Status::error("cannot write a BIDS dataset into " + root.string() + why)
      .aboutFile(root.string());
}

bool holdsFiles(const fs::path& root) {
  std::error_code error;
  return fs::exists(root, error) && !fs::is_empty(root, error);
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
  if (!study.resume || !holdsFiles(root)) {
    Status free = requireNoDataset(root);
    if (!free) return free;
    return std::unique_ptr<BidsDataset>(new BidsDataset(std::move(root), std::move(study), disk));
  }
  if (!markedUnfinished(root))
    return Status::error("cannot resume the BIDS dataset in " + root.string() +
                         ": it is not marked unfinished (no " +
                         unfinishedMarkerOf(root).string() + "), so there is nothing to continue")
        .aboutFile(root.string());
  Result<std::set<std::string>> listed = participantsListed(disk, root);
  if (!listed) return Status(listed.status()).aboutFile(root.string());
  std::unique_ptr<BidsDataset> dataset(new BidsDataset(root, std::move(study), disk));
  dataset->subjectsToCheck_ = std::move(listed).value();
  dataset->checksums_ = std::make_unique<ChecksumDisk>(disk);
  return dataset;
}

// The marker comes first and the README says so too: from the dataset's first file
// on, a run that stops leaves a dataset that tells it is unfinished.
Status BidsDataset::writeDatasetFiles(DiskInterface& disk) const {
  const fs::path derivatives = root_ / kDerivativeFolder;
  return firstFailure({
      [&] { return makeExportFolder(disk, derivatives); },
      [&] { return writeExportText(disk, unfinishedMarkerOf(root_), unfinishedMarkerText()); },
      [&] { return makeExportFolder(disk, root_ / "code"); },
      [&] {
        return writeExportText(disk, root_ / "dataset_description.json",
                               datasetDescriptionJson(study_.experimentName));
      },
      [&] { return writeExportText(disk, root_ / "README", unfinishedReadme(study_.readme)); },
      [&] {
        const Result<std::string> control = fileText(disk, study_.controlFile);
        if (!control) return control.status();
        return writeExportText(disk, root_ / "code" / study_.controlFile.filename(),
                               control.value());
      },
      [&] {
        return writeExportText(disk, root_ / "participants.json",
                               participantsJson(study_.groupFactor, study_.groupNames));
      },
      [&] {
        return writeExportText(disk, derivatives / "dataset_description.json",
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

Status BidsDataset::writeSubjectFiles(DiskInterface& disk, const BidsSubject& subject,
                                     const std::string& label) const {
  const std::string stem = bidsFunctionalStem(label, task_);
  const fs::path func = root_ / bidsSubjectId(label) / "func";
  const fs::path derived = root_ / kDerivativeFolder / bidsSubjectId(label) / "func";
  return firstFailure({
      [&] { return makeExportFolder(disk, func); },
      [&] { return makeExportFolder(disk, derived); },
      [&] {
        return writeNifti(disk, func / (stem + (study_.gzip ? "_bold.nii.gz" : "_bold.nii")),
                          subject.bold, study_.gzipLevel);
      },
      [&] {
        return writeExportText(disk, func / (stem + "_bold.json"),
                               study_.sliceTiming.empty()
                                   ? boldJson(task_, study_.repetitionTime, subject.bold.dims.DimZ)
                                   : boldJson(task_, study_.repetitionTime, study_.sliceTiming, study_.multiband));
      },
      [&] { return writeEventsTsv(disk, func / (stem + "_events.tsv"), subject.events); },
      [&] {
        return writeDesignTsv(disk, derived / (stem + "_desc-design_timeseries.tsv"),
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

// A subject the earlier run wrote: its files (and, with the first, the dataset's
// own) must be byte for byte what this run makes, or the rest would not belong
// with them.
Status BidsDataset::checkSubject(const BidsSubject& subject, const std::string& label) {
  const auto refuse = [this](const Status& why) {
    foreign_ = why.context("cannot resume the BIDS dataset in " + root_.string() +
                           " (was it begun with other options or another control file?)");
    return foreign_;
  };
  if (!datasetFilesWritten_) {
    Status same = writeDatasetFiles(*checksums_);
    if (!same) return refuse(same);
    datasetFilesWritten_ = true;
  }
  Status same = writeSubjectFiles(*checksums_, subject, label);
  if (!same) return refuse(same);
  subjectsToCheck_.erase(bidsSubjectId(label));
  return Status::ok();
}

Status BidsDataset::addSubject(const BidsSubject& subject) {
  const std::string label = bidsSubjectLabel(subject.subjectNumber, study_.largestSubjectNumber);
  const Result<std::string> group = groupName(subject.groupNumber);
  // Not one of the run's groups: the participants table cannot say which it is.
  if (!group) return Status(group.status()).aboutFile((root_ / "participants.tsv").string());
  if (!foreign_)
    return Status::error("cannot write " + bidsSubjectId(label) +
                         ": the dataset's earlier subjects are not this run's")
        .aboutFile((root_ / bidsSubjectId(label)).string());
  if (subjectsToCheck_.contains(bidsSubjectId(label))) {
    Status same = checkSubject(subject, label);
    if (same) participants_.push_back({bidsSubjectId(label), group.value()});
    return same;
  }
  if (!datasetFilesWritten_) {
    Status written = writeDatasetFiles(disk_);
    if (written) written = writeParticipants();
    if (!written) return written;
    datasetFilesWritten_ = true;
  }
  Status written = writeSubjectFiles(disk_, subject, label);
  if (!written) return written;
  participants_.push_back({bidsSubjectId(label), group.value()});
  return writeParticipants();
}

Status BidsDataset::finish() {
  const bool complete =
      datasetFilesWritten_ && foreign_ && subjectsToCheck_.empty() &&
      participants_.size() == static_cast<std::size_t>(study_.largestSubjectNumber);
  if (!complete) return Status::ok();
  // The README first: a run stopped in between still leaves the marker file.
  Status written = writeExportText(disk_, root_ / "README", study_.readme);
  if (!written) return written;
  const fs::path marker = unfinishedMarkerOf(root_);
  return disk_.removeFile(marker).context("cannot remove " + marker.string()).aboutFile(marker.string());
}

}  // namespace cohortix::host
