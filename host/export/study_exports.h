#pragma once
// What a run exports beside its native files. With --nifti each subject's events
// table goes beside its protocol, its design table beside its design matrix and
// its NIfTI volume beside its VTC. With --bids DIR a BIDS dataset grows by one
// subject whenever a subject's VTC, the last of its files, is saved: the protocol
// and design matrix the host then holds are that subject's.

#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>

#include "control/simulation_design.h"
#include "host/export/bids_dataset.h"
#include "host/documents/design_matrix.h"
#include "host/documents/protocol_document.h"
#include "host/documents/vtc_document.h"

namespace cohortix::host {

class DiskInterface;

// An export that could not be written: what() reads "cannot write FILE: reason".
class ExportError : public std::runtime_error {
 public:
  ExportError(std::filesystem::path file, const std::string& message)
      : std::runtime_error(message), file_(std::move(file)) {}
  const std::filesystem::path& file() const { return file_; }

 private:
  std::filesystem::path file_;
};

struct ExportOptions {
  bool nifti = false;            // tables and a volume beside the native files
  bool gzip = false;             // .nii.gz rather than .nii, here and in the dataset
  std::filesystem::path bidsDir; // empty: no dataset
};

// Where the exports go and what they know of the run.
struct ExportSetting {
  std::filesystem::path outputDir;
  std::filesystem::path controlFile;
  double repetitionTime = 2.0;
  std::string designSummary;  // for the dataset's README
};

class StudyExports {
 public:
  // Opens the dataset at once, so a folder it cannot take is refused before the
  // run; throws then. `design` has its derived counts; `disk` outlives this.
  StudyExports(const ExportOptions& options, const ExportSetting& setting,
               const SimulationDesign& design, DiskInterface& disk);
  ~StudyExports();

  // Each is called after the native file `name` was written; each throws an
  // ExportError naming the file it could not write.
  void protocolSaved(const std::string& name, const ProtocolDocument& protocol);
  void designMatrixSaved(const std::string& name, const DesignMatrix& matrix);
  void vtcSaved(const std::string& name, const VTCDocument& vtc, const ProtocolDocument& protocol,
                const DesignMatrix& matrix);

 private:
  struct SubjectNumbers {
    int32_t subject = 0;
    int32_t group = 0;
  };

  std::filesystem::path besideOutput(const std::string& name, const std::string& suffix) const;
  NiftiTimeCourse timeCourseOf(const VTCDocument& vtc) const;
  void addToDataset(const std::string& name, const VTCDocument& vtc,
                    const ProtocolDocument& protocol, const DesignMatrix& matrix);

  ExportOptions options_;
  ExportSetting setting_;
  DiskInterface& disk_;
  int32_t firstTrialCondition_ = 0;
  std::map<std::string, SubjectNumbers> subjectsByVTCName_;
  std::unique_ptr<BidsDataset> dataset_;
};

// The suffix that replaces ".vtc" in the NIfTI volume's name.
const char* niftiSuffix(bool gzip);

}  // namespace cohortix::host
