#pragma once
// The busy cursor of our headless host: one line on a terminal, redrawn in place,
// "subject 3 of 10, 0:12 elapsed, about 0:28 left, 45.2 MB written". It is the last
// sink of the output path: a subject counts as finished once every other sink is
// done with it, and the subject shown is the one after the last finished. The total
// comes from the study when the host could read it. A disabled progress draws
// nothing at all. Safe to use from the plug-in's thread and the writer's at once.

#include <chrono>
#include <cstdint>
#include <functional>
#include <iosfwd>
#include <mutex>
#include <string>
#include <string_view>

#include "host/session/saved_subject.h"

namespace cohortix::host {

class Progress : public SubjectSink {
 public:
  using Clock = std::function<std::chrono::steady_clock::time_point()>;

  Progress(std::ostream& terminal, bool enabled, int totalSubjects, Clock clock = {});

  void subjectSaved(const SavedSubject& subject, SubjectOutcomes& outcomes) override;
  void noteBytesWritten(uint64_t bytes);
  void setBusy(bool busy);

  // Writes one line of other output (to the terminal or another stream on the same
  // screen): the progress line is cleared first and redrawn after.
  void printAbove(std::ostream& out, std::string_view text);
  // Clears the line for good.
  void finish();

  // The line as it would be drawn now (for tests).
  std::string line() const;

 private:
  std::string lineLocked() const;
  void clearLocked();
  void redrawLocked();

  mutable std::mutex mutex_;
  std::ostream& terminal_;
  bool enabled_;
  int totalSubjects_;
  Clock clock_;
  std::chrono::steady_clock::time_point start_;
  int finishedSubjects_ = 0;
  uint64_t bytesWritten_ = 0;
  bool busy_ = false;
  bool drawn_ = false;
};

// Whether the progress line belongs on standard error: a terminal, and not --quiet.
bool progressWanted(bool quiet);

}  // namespace cohortix::host
