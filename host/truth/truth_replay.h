#pragma once
// The subjects of a run replayed through the plug-in's own subject model, from the
// random state a freshly loaded plug-in starts its run from, one subject after the
// other in run order, as the plug-in's stream runs on: the truth of a plug-in that
// does not report what it draws, and the check of one that does (--verify-truth).
// Each replay is checked against the data the plug-in saved: only a replay that
// gives back those data bit for bit tells what the plug-in did. The check compares
// 64-bit CRCs of the data, so the replay needs no copy of the saved data and may
// run behind the run.

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "control/simulation_design.h"
#include "host/session/saved_subject.h"
#include "host/truth/subject_truth.h"
#include "simulation/random/random_state.h"

namespace cohortix::host::truth {

// The CRC-64 of a subject's data as the replay compares them.
struct DataChecksum {
  uint64_t crc = 0;
  std::size_t values = 0;
  bool operator==(const DataChecksum&) const = default;
};
DataChecksum checksumOf(std::span<const float> data);

class TruthReplay {
 public:
  // `design` has its derived counts; the replay keeps a copy.
  explicit TruthReplay(const SimulationDesign& design);

  // The next subject of the run, replayed into truth. Ok when the replayed data
  // have the checksum `saved` (of the plug-in's data, before any stage changed
  // them); otherwise why not, and no later subject can be replayed either.
  // `subject.data` is not read.
  Status replay(const SavedSubject& subject, const DataChecksum& saved, SubjectTruth& truth);
  // The plug-in's next subject, whatever the host makes of it: its design matrix
  // and VTC header as the plug-in had them. Sets the truth's plug-in indices only.
  Status replayNext(const DesignMatrix& matrix, const VTCHeader& header, const DataChecksum& saved,
                    SubjectTruth& truth);

  // A mismatch has been met: the stream no longer follows the plug-in's.
  bool lost() const { return lost_; }

 private:
  Status replayModel(const DesignMatrix& matrix, const VTCHeader& header, const DataChecksum& saved,
                     SubjectTruth& truth);
  void advance();

  std::unique_ptr<SimulationDesign> design_;
  RandomState state_{};
  int32_t RandomSeed = -1;
  int32_t g_ = 0, s_ = 0;  // the subject the plug-in simulates next
  std::vector<float> data_;      // one VTC: the replayed values
  std::vector<float> response_;
  bool lost_ = false;
};

}  // namespace cohortix::host::truth
