#pragma once
// Where the subjects of a study come from: the output folder of a run (each
// subject's S<n>_G<g>_<Experiment>.vtc and .rtc) or a BIDS dataset (each subject's
// bold volume, its design matrix under derivatives/cohortix, its group in
// participants.tsv). A source lists the subjects up front and loads them one at a
// time, so an analysis holds one subject's data at once.

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "control/vtc_geometry.h"
#include "host/analysis/first_level_fit.h"
#include "host/analysis/motion_regressors.h"
#include "host/documents/design_matrix.h"
#include "host/io/status.h"

namespace cohortix::host {

class DiskInterface;

// The grid of the subjects' volumes, which every map of the analysis shares.
struct StudyGrid {
  cohortix::VTCDims dims;
  cohortix::TalairachAffine affine{};  // voxel -> Talairach millimetres
  int64_t voxels() const { return int64_t{dims.DimX} * dims.DimY * dims.DimZ; }
};

struct SubjectEntry {
  std::string name;  // "S4_G2_Study", "sub-04"
  int32_t group = 0;  // 0-based index into the study's groups
  std::filesystem::path data;  // its .vtc or bold volume; empty when the scan found none
};

struct StudySubject {
  std::vector<float> data;  // voxel-major, time fastest
  int32_t volumes = 0;
  double repetitionTime = 2.0;
  StudyGrid grid;
  std::vector<Predictor> predictors;  // one per cell
  NuisanceRegressors nuisance;        // head motion's, when asked for
};

class StudySource {
 public:
  virtual ~StudySource() = default;
  virtual const std::vector<SubjectEntry>& subjects() const = 0;
  virtual const std::vector<std::string>& groupNames() const = 0;
  // Subject `index` of subjects(); errors name the file. With motion regressors
  // set, its nuisance regressors are read too.
  virtual Result<StudySubject> load(std::size_t index) = 0;

  // Where the run wrote subject `index`'s motion truth, had it any.
  virtual std::filesystem::path motionTruthFile(std::size_t index) const = 0;
  // The table the setting takes subject `index`'s motion regressors from.
  std::filesystem::path motionRegressorFile(std::size_t index, const MotionRegressorSetting& setting) const;
  virtual void setMotionRegressors(MotionRegressorSetting setting) { motion_ = std::move(setting); }

 protected:
  // Reads the subject's motion regressors into it, when they are asked for.
  Status loadMotionRegressors(std::size_t index, DiskInterface& disk, StudySubject& subject) const;

 private:
  MotionRegressorSetting motion_;
};

// A run's output folder; refuses a folder without subjects or with several studies.
Result<std::unique_ptr<StudySource>> runFolderSource(const std::filesystem::path& folder,
                                                     DiskInterface& disk);

// A BIDS dataset as `cohortix run --bids` writes it. A run without its design
// table under derivatives/cohortix (or every run, with designFromEvents) has its
// design built from its events table and TR (events_design.h), the cells in the
// order of the control file under code/ when there is one.
Result<std::unique_ptr<StudySource>> bidsDatasetSource(const std::filesystem::path& root,
                                                       DiskInterface& disk, bool designFromEvents = false);

// Either, by what the folder holds (dataset_description.json: a BIDS dataset).
Result<std::unique_ptr<StudySource>> studySource(const std::filesystem::path& folder,
                                                 DiskInterface& disk, bool designFromEvents = false);

}  // namespace cohortix::host
