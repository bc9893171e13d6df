#pragma once
// --verify-truth: every subject the plug-in saves, the ones a replicate's run skips
// too, replayed from the random state a freshly loaded plug-in starts from, as the
// truth was found before the plug-in could report it, and held against what the
// plug-in reported of it and the data it made. The replays run on a thread of their
// own behind the run; each subject whose report or data differ from its replay is
// one failed outcome naming it, so the run ends with status 4.

#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "control/simulation_design.h"
#include "host/session/saved_subject.h"
#include "host/truth/subject_truth.h"
#include "host/truth/truth_replay.h"

namespace cohortix::host::truth {

// The first way in which a report differs from its replay; ok when they agree.
Status compareComponents(const SubjectComponents& reported, const SubjectComponents& replayed);

class TruthVerifier final : public SubjectWitness, public SubjectSink {
 public:
  // `pluginDesign`: the study the plug-in runs (a replicate's expanded study), with
  // its derived counts.
  explicit TruthVerifier(const SimulationDesign& pluginDesign);
  ~TruthVerifier() override;

  void pluginSaved(const std::string& vtcName, const DesignMatrix& matrix, const VTCHeader& header,
                   std::span<const float> data,
                   const std::shared_ptr<SubjectComponents>& components) override;
  void subjectSaved(const SavedSubject&, SubjectOutcomes&) override {}
  // Waits for every replay; each subject that did not verify is one outcome.
  void finishSubjects(SubjectOutcomes& outcomes) override;

  // Subjects replayed, and of those the ones that verified.
  int64_t subjectsReplayed() const { return replayed_; }
  int64_t subjectsVerified() const { return verified_; }

 private:
  struct Pending {
    std::string vtcName;
    DesignMatrix matrix;
    VTCHeader header{};
    DataChecksum data;
    std::shared_ptr<const SubjectComponents> reported;
  };

  void work();
  Status verify(const Pending& pending);

  TruthReplay replay_;
  SubjectComponents replayedSubject_;
  int64_t replayed_ = 0;
  int64_t verified_ = 0;

  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<Pending> pending_;
  bool busy_ = false;
  bool stopping_ = false;
  SubjectOutcomes failures_;
  std::thread worker_;
};

}  // namespace cohortix::host::truth
