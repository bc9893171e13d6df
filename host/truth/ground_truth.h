#pragma once
// The run's ground truth, on the output path: what the plug-in reported it drew
// for each subject (the subject's components), written on a thread of its own
// behind the run, beside the native files (--truth) and under the BIDS dataset's
// derivatives (--bids).
//
// A plug-in built before it could report is replayed instead, as the host did
// before, and that is said once: the truth takes the checksum of each subject's
// data as the plug-in made them (as a stage ahead of every other when a stage
// changes the data, as the host's noise does; otherwise as the sink), and its
// thread replays the subjects and checks each replay against that checksum. When
// the loaded plug-in's data cannot be replayed no truth is written, that is said
// once, and the run goes on as it would without truth.

#include <condition_variable>
#include <deque>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <ostream>
#include <string>
#include <thread>
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
  // What a stage that recomposes the subjects (the anatomy) makes of their truth;
  // empty: the truth is the components as the plug-in reported them.
  std::function<void(SubjectTruth&)> recompose;
  // Where a region's centre lies in that anatomy, for the subject's truth JSON.
  PlaceOf placeOf;
  // The subject's own anatomy's affine (by subject number) as JSON, when each
  // subject has its own; empty: none.
  std::function<std::string(int32_t)> ownAnatomy;
};

// The message of a run whose plug-in's data the replay does not reproduce.
inline constexpr char kNoReplayMessage[] =
    "the loaded plug-in's subjects cannot be replayed: no ground truth is written";
// Said once when the loaded plug-in does not report what it draws.
inline constexpr char kReplayFallbackMessage[] =
    "the loaded plug-in does not report what it draws: the ground truth replays every "
    "subject instead, which costs about the simulation's time again";

class GroundTruth final : public SubjectDataStage, public SubjectSink {
 public:
  // `design` has its derived counts; disk and messages outlive the truth.
  GroundTruth(const SimulationDesign& design, TruthSetting setting, DiskInterface& disk,
              std::ostream& messages);
  ~GroundTruth() override;

  void prepare(const SavedSubject& subject, std::span<float> data) override;
  // Hands on the outcomes of the truth files written since the last subject.
  void subjectSaved(const SavedSubject& subject, SubjectOutcomes& outcomes) override;
  // Waits until every subject taken is replayed and its files written.
  void finishSubjects(SubjectOutcomes& outcomes) override;
  void runFinished(SubjectOutcomes& outcomes) override;

  // Whether every subject replayed so far was as the plug-in made it.
  bool replayed() const { return !replay_.lost(); }

 private:
  struct GroupSum {
    std::vector<double> effects;  // cells x voxels
    int32_t subjects = 0;
  };

  // A subject waiting for its truth: what was saved but the data, and, for a
  // replay, their checksum.
  struct Pending {
    SavedSubject subject;
    DataChecksum data;
  };

  void take(const SavedSubject& subject, std::span<const float> data);
  void work(bool ownThread);
  void truthOf(const Pending& pending, SubjectOutcomes& outcomes);
  bool replaySubject(const Pending& pending);
  void handOver(SubjectOutcomes& outcomes);
  void writeNative(const SavedSubject& subject, SubjectOutcomes& outcomes);
  void writeBids(const SavedSubject& subject, SubjectOutcomes& outcomes);
  void addToGroup();
  std::string ownAnatomyJson() const {
    return setting_.ownAnatomy ? setting_.ownAnatomy(truth_.subjectNumber) : std::string();
  }
  void writeGroups(const std::function<std::filesystem::path(int32_t)>& fileOfGroup,
                   SubjectOutcomes& outcomes);

  std::string experiment_;
  std::string task_;
  int32_t largestSubjectNumber_ = 0;
  TruthSetting setting_;
  DiskInterface& disk_;
  std::ostream& messages_;
  TruthReplay replay_;
  SubjectTruth truth_;  // the subject being replayed
  VTCBox box_;
  std::vector<std::string> cells_;
  std::string table_;
  std::vector<GroupSum> groups_;

  // Taken by the stage, for the subject the sink takes next (plug-in's order).
  bool takenAhead_ = false;
  bool fallbackSaid_ = false;
  // The replay's thread and what passes between it and the output path.
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<Pending> pending_;
  bool busy_ = false;      // a subject is being replayed
  bool stopping_ = false;  // the truth is going away: leave the rest
  SubjectOutcomes written_;  // not yet handed over
  std::thread worker_;
};

}  // namespace cohortix::host::truth
