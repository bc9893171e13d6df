#pragma once
// The run's ground truth, on the output path: as a stage that comes before every
// other it replays each subject and checks the replay against the plug-in's data;
// as a sink it writes what the replay recorded, beside the native files (--truth)
// and under the BIDS dataset's derivatives (--bids). When the loaded plug-in's
// data cannot be replayed no truth is written, that is said once, and the run
// goes on as it would without truth.

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "control/simulation_design.h"
#include "host/session/saved_subject.h"
#include "host/truth/subject_truth.h"
#include "host/truth/truth_replay.h"
#include "host/truth/truth_text.h"

namespace cohortix::host {
class DiskInterface;
}

namespace cohortix::host::truth {

struct TruthSetting {
  std::filesystem::path outputDir;  // the native files' folder
  bool nativeFiles = false;         // the truth beside the native files
  std::filesystem::path bidsDir;    // empty: no dataset
  bool gzip = false;                // .nii.gz rather than .nii
  std::optional<TruthNoise> noise;  // the host's noise, when the run adds any
};

// The message of a run whose plug-in's data the replay does not reproduce.
inline constexpr char kNoReplayMessage[] =
    "the loaded plug-in's subjects cannot be replayed: no ground truth is written";

class GroundTruth final : public SubjectDataStage, public SubjectSink {
 public:
  // `design` has its derived counts; disk and messages outlive the truth.
  GroundTruth(const SimulationDesign& design, TruthSetting setting, DiskInterface& disk,
              std::ostream& messages);
  ~GroundTruth() override;

  void prepare(const SavedSubject& subject, std::span<float> data) override;
  void subjectSaved(const SavedSubject& subject, SubjectOutcomes& outcomes) override;
  void runFinished(SubjectOutcomes& outcomes) override;

  // Whether every subject so far was replayed as the plug-in made it.
  bool replayed() const { return !replay_.lost(); }

 private:
  struct GroupSum {
    std::vector<double> effects;  // cells x voxels
    int32_t subjects = 0;
  };

  void writeNative(const SavedSubject& subject, SubjectOutcomes& outcomes);
  void writeBids(const SavedSubject& subject, SubjectOutcomes& outcomes);
  void addToGroup();
  void writeGroups(const std::function<std::filesystem::path(int32_t)>& fileOfGroup,
                   SubjectOutcomes& outcomes);

  std::string experiment_;
  std::string task_;
  int32_t largestSubjectNumber_ = 0;
  TruthSetting setting_;
  DiskInterface& disk_;
  std::ostream& messages_;
  TruthReplay replay_;
  SubjectTruth truth_;  // the subject between its stage and its sink
  bool truthReady_ = false;
  VTCBox box_;
  std::vector<std::string> cells_;
  std::string table_;
  std::vector<GroupSum> groups_;
};

}  // namespace cohortix::host::truth
