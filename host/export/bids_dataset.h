#pragma once
// A simulated study as a BIDS dataset: the dataset's description, README and
// control file with its first subject; each subject's bold volume, sidecar and
// events as the subject completes, with participants.tsv listing exactly the
// subjects written so far; each subject's design matrix under derivatives/cohortix.
// A run that ends before its first subject leaves the folder as it found it, so
// the same folder serves the next try. From its first file until its last subject
// the dataset is marked unfinished (host/export/bids_unfinished.h); a later run can
// resume it, checking the subjects already there against its own.

#include <cstdint>
#include <filesystem>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "host/export/design_tsv.h"
#include "host/export/events_tsv.h"
#include "host/export/nifti_writer.h"
#include "host/io/status.h"

namespace cohortix::host {

class DiskInterface;

struct BidsStudy {
  std::string experimentName;
  std::string readme;                    // what was simulated, and how
  std::filesystem::path controlFile;     // copied into code/
  std::string groupFactor;               // empty without a between factor
  std::vector<std::string> groupNames;   // the name of group number g at g - 1
  int32_t largestSubjectNumber = 0;
  double repetitionTime = kDefaultRepetitionTime;
  bool gzip = true;
  int gzipLevel = kDefaultGzipLevel;
  bool resume = false;  // continue the unfinished dataset in the root
  std::vector<double> sliceTiming;  // empty: every slice at the volume's start
  int32_t multiband = 1;            // slices acquired at once
};

struct BidsSubject {
  int32_t subjectNumber = 0;
  int32_t groupNumber = 0;
  NiftiTimeCourse bold;
  std::vector<TrialEvent> events;
  std::vector<Predictor> design;
};

class BidsDataset {
 public:
  // Takes root, which must be missing or empty (subjects of an earlier dataset
  // there would not be in participants.tsv), or, to resume, hold an unfinished
  // dataset: the subjects its participants.tsv lists are then checked byte for byte
  // as they come again, not written. Every file goes through disk, which must
  // outlive the dataset.
  static Result<std::unique_ptr<BidsDataset>> open(std::filesystem::path root, BidsStudy study,
                                                   DiskInterface& disk);

  // A failure names the file it could not write.
  Status addSubject(const BidsSubject& subject);
  // After the run's last subject: when every subject of the study is in, the
  // unfinished marks go; otherwise they stay.
  Status finish();

  const std::string& taskLabel() const { return task_; }

  // The files addSubject writes for the subject, for a list of those not written.
  std::vector<std::filesystem::path> subjectFiles(int32_t subjectNumber) const;

 private:
  struct Participant {
    std::string id;
    std::string group;
  };

  BidsDataset(std::filesystem::path root, BidsStudy study, DiskInterface& disk);

  Status writeDatasetFiles(DiskInterface& disk) const;
  Status writeSubjectFiles(DiskInterface& disk, const BidsSubject& subject,
                           const std::string& label) const;
  Status writeParticipants() const;
  Status checkSubject(const BidsSubject& subject, const std::string& label);
  Result<std::string> groupName(int32_t groupNumber) const;

  DiskInterface& disk_;
  std::filesystem::path root_;
  BidsStudy study_;
  std::string task_;
  std::vector<Participant> participants_;
  bool datasetFilesWritten_ = false;
  // Resuming: the earlier run's subjects still to be checked, through checksums_.
  std::set<std::string> subjectsToCheck_;
  std::unique_ptr<DiskInterface> checksums_;
  // An earlier subject was not this run's: the rest would not belong with it.
  Status foreign_;
};

}  // namespace cohortix::host
