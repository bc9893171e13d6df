#pragma once
// What a run exports beside its native files, as a sink of the output path. With
// --nifti each subject's events table goes beside its protocol, its design table
// beside its design matrix and its NIfTI volume beside its VTC. With --bids DIR a
// BIDS dataset grows by one subject with every subject saved. The subject's
// numbers come from the event, which has them from the study the host read; a
// subject the host does not know, or one whose protocol could not be saved, is not
// exported, and that is said once.

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "control/simulation_design.h"
#include "host/export/bids_dataset.h"
#include "host/io/status.h"
#include "host/session/saved_subject.h"

namespace cohortix::host {

class DiskInterface;

struct ExportOptions {
  bool nifti = false;            // tables and a volume beside the native files
  bool gzip = false;             // .nii.gz rather than .nii, here and in the dataset
  int gzipLevel = kDefaultGzipLevel;
  bool noNative = false;         // the dataset alone, no native files
  bool resume = false;           // continue the unfinished dataset in bidsDir
  std::filesystem::path bidsDir; // empty: no dataset
  std::string readmeNote;        // appended to the dataset's README (host noise, replicate)
  std::vector<double> sliceTiming;  // the slices' times (--slice-order); empty: all at once
  int32_t multiband = 1;            // slices acquired at once
};

// Where the exports go and what they know of the run.
struct ExportSetting {
  std::filesystem::path outputDir;
  std::filesystem::path controlFile;
  double repetitionTime = 2.0;
  std::string designSummary;  // for the dataset's README
};

class StudyExports : public SubjectSink {
 public:
  // Opens the dataset at once, so a folder it cannot take is refused before the
  // run, with the reason. `design` has its derived counts; `disk` outlives the
  // exports.
  static Result<std::unique_ptr<StudyExports>> open(const ExportOptions& options,
                                                    const ExportSetting& setting,
                                                    const SimulationDesign& design,
                                                    DiskInterface& disk);
  ~StudyExports() override;

  // Each file that cannot be written is an outcome of its own; the others are
  // still tried.
  void subjectSaved(const SavedSubject& subject, SubjectOutcomes& outcomes) override;
  // A dataset that holds every subject of the study stops saying it is unfinished.
  void runFinished(SubjectOutcomes& outcomes) override;

 private:
  std::filesystem::path besideOutput(const std::string& name, const std::string& suffix) const;
  StudyExports(const ExportOptions& options, const ExportSetting& setting,
               const SimulationDesign& design, DiskInterface& disk);
  NiftiTimeCourse timeCourseOf(const SavedSubject& subject) const;
  // Every file the exports write for the subject.
  std::vector<std::filesystem::path> exportsOf(const SavedSubject& subject) const;
  // A file an export could not write becomes an outcome of its own.
  static void attempt(SubjectOutcomes& outcomes, const Status& exported);

  ExportOptions options_;
  ExportSetting setting_;
  DiskInterface& disk_;
  int32_t firstTrialCondition_ = 0;
  std::unique_ptr<BidsDataset> dataset_;
};

// The suffix that replaces ".vtc" in the NIfTI volume's name.
const char* niftiSuffix(bool gzip);

}  // namespace cohortix::host
