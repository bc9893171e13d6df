#include "host/bids_dataset.h"

#include <fstream>
#include <iterator>
#include <stdexcept>
#include <system_error>

#include "host/bids_names.h"
#include "host/bids_sidecars.h"
#include "host/export_file.h"
#include "host/tsv_field.h"

namespace cohortix::host {
namespace {

namespace fs = std::filesystem;

constexpr char kDerivativeFolder[] = "derivatives/cohortix";

void makeFolder(const fs::path& folder) {
  std::error_code error;
  fs::create_directories(folder, error);
  if (error) throw std::runtime_error("cannot create " + folder.string() + ": " + error.message());
}

void requireEmptyFolder(const fs::path& root) {
  std::error_code error;
  if (fs::exists(root, error) && !fs::is_empty(root, error))
    throw std::runtime_error("cannot write a BIDS dataset into " + root.string() +
                             ": the folder is not empty");
  makeFolder(root);
}

std::string fileText(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  if (!in.good() && !in.eof()) throw std::runtime_error("cannot read " + file.string());
  return text;
}

std::string participantsTable(const auto& participants) {
  std::string text = "participant_id\tgroup\n";
  for (const auto& participant : participants)
    text += participant.id + '\t' + tsvField(participant.group) + '\n';
  return text;
}

}  // namespace

BidsDataset::BidsDataset(fs::path root, BidsStudy study)
    : root_(std::move(root)), study_(std::move(study)), task_(bidsTaskLabel(study_.experimentName)) {
  requireEmptyFolder(root_);
  writeDatasetFiles();
}

void BidsDataset::writeDatasetFiles() const {
  writeExportText(root_ / "dataset_description.json",
                  datasetDescriptionJson(study_.experimentName));
  writeExportText(root_ / "README", study_.readme);
  makeFolder(root_ / "code");
  writeExportText(root_ / "code" / study_.controlFile.filename(), fileText(study_.controlFile));
  writeExportText(root_ / "participants.json",
                  participantsJson(study_.groupFactor, study_.groupNames));
  writeParticipants();
  makeFolder(root_ / kDerivativeFolder);
  writeExportText(root_ / kDerivativeFolder / "dataset_description.json",
                  derivativeDescriptionJson(study_.experimentName));
}

void BidsDataset::writeParticipants() const {
  writeExportText(root_ / "participants.tsv", participantsTable(participants_));
}

std::string BidsDataset::groupName(int32_t groupNumber) const {
  if (groupNumber < 1 || groupNumber > static_cast<int32_t>(study_.groupNames.size()))
    throw std::runtime_error("group " + std::to_string(groupNumber) + " is not in the study");
  return study_.groupNames[static_cast<std::size_t>(groupNumber - 1)];
}

void BidsDataset::addSubject(const BidsSubject& subject) {
  const std::string label = bidsSubjectLabel(subject.subjectNumber, study_.largestSubjectNumber);
  const std::string stem = bidsFunctionalStem(label, task_);
  const fs::path func = root_ / bidsSubjectId(label) / "func";
  const fs::path derived = root_ / kDerivativeFolder / bidsSubjectId(label) / "func";
  const std::string group = groupName(subject.groupNumber);
  makeFolder(func);
  makeFolder(derived);
  writeNifti(func / (stem + (study_.gzip ? "_bold.nii.gz" : "_bold.nii")), subject.bold);
  writeExportText(func / (stem + "_bold.json"),
                  boldJson(task_, study_.repetitionTime, subject.bold.dims.DimZ));
  writeEventsTsv(func / (stem + "_events.tsv"), subject.events);
  writeDesignTsv(derived / (stem + "_desc-design_timeseries.tsv"), subject.design);
  participants_.push_back({bidsSubjectId(label), group});
  writeParticipants();
}

}  // namespace cohortix::host
