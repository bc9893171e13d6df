#pragma once
// The busy cursor of our headless host: one line on a terminal, redrawn in place,
// "subject 3 of 10, 0:12 elapsed, about 0:28 left, 45.2 MB written". Subjects are
// counted from the plug-in's log lines ("Creating simulated data for subject N")
// and finished at each VTC save; the total comes from the control file when the
// host could read it. A disabled progress draws nothing at all.

#include <chrono>
#include <cstdint>
#include <functional>
#include <iosfwd>
#include <string>

namespace cohortix::host {

class Progress {
 public:
  using Clock = std::function<std::chrono::steady_clock::time_point()>;

  Progress(std::ostream& terminal, bool enabled, int totalSubjects, Clock clock = {});

  // Looks for the plug-in's per-subject log line.
  void noteLogLine(const char* text);
  void noteSubjectFinished();
  void noteBytesWritten(uint64_t bytes);
  void setBusy(bool busy);

  // Other output to the terminal: the line is cleared first and redrawn after.
  void clear();
  void redraw();
  // Clears the line for good.
  void finish();

  // The line as it would be drawn now (for tests).
  std::string line() const;

 private:
  std::ostream& terminal_;
  bool enabled_;
  int totalSubjects_;
  Clock clock_;
  std::chrono::steady_clock::time_point start_;
  int currentSubject_ = 0;
  int finishedSubjects_ = 0;
  uint64_t bytesWritten_ = 0;
  bool busy_ = false;
  bool drawn_ = false;
};

// Whether the progress line belongs on standard error: a terminal, and not --quiet.
bool progressWanted(bool quiet);

}  // namespace cohortix::host
