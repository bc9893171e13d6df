#pragma once
// The busy cursor of our headless host: one line on a terminal, redrawn in place a
// few times a second and at every event, "subject 3 of 10, 0:12 elapsed, about
// 0:28 left, 45.2 MB written", never wider than the terminal. It is the last sink
// of the output path: a subject counts as finished once every other sink is done
// with it, and the subject shown is the one after the last finished. The time left
// comes from the measured rate of simulated voxel-volumes (each VTC the plug-in
// saves), the bytes from every file written. A disabled progress draws nothing at
// all. Safe to use from the plug-in's thread, the writer's and its own timer's.

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <iosfwd>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>

#include "host/session/saved_subject.h"

namespace cohortix::host {

class Progress : public SubjectSink {
 public:
  using Clock = std::function<std::chrono::steady_clock::time_point()>;
  // The terminal's width in columns; 0 when it cannot be told.
  using Width = std::function<int()>;
  // The bytes written so far, counted where the files are written.
  using ByteCount = std::function<uint64_t()>;

  Progress(std::ostream& terminal, bool enabled, int totalSubjects, Clock clock = {},
           Width width = {});
  ~Progress() override;
  Progress(const Progress&) = delete;
  Progress& operator=(const Progress&) = delete;

  void subjectSaved(const SavedSubject& subject, SubjectOutcomes& outcomes) override;
  // The plug-in has simulated one more subject of this many voxel-volumes.
  void noteSimulated(uint64_t voxelVolumes);
  void noteBytesWritten(uint64_t bytes);
  // From now on the bytes shown are what `count` says.
  void countBytesWith(ByteCount count);
  void setBusy(bool busy);
  // Redraws every `interval` on a thread of its own until finish(), so the clock
  // never stands still between events.
  void tick(std::chrono::milliseconds interval);

  // Writes one line of other output (to the terminal or another stream on the same
  // screen): the progress line is cleared first and redrawn after.
  void printAbove(std::ostream& out, std::string_view text);
  // Clears the line for good.
  void finish();

  // The line as it would be drawn now, and as fitted to the width (for tests).
  std::string line() const;
  std::string fittedLine() const;
  // "10 subjects simulated, 30 files written (45.2 MB) in 12.3 s".
  std::string summary(uint64_t files) const;

 private:
  struct Parts {
    std::string subject, elapsed, left, bytes;
  };
  Parts partsLocked() const;
  std::string lineLocked() const;
  std::string fittedLocked() const;
  void clearLocked();
  void redrawLocked();
  uint64_t bytesLocked() const;

  mutable std::mutex mutex_;
  std::ostream& terminal_;
  bool enabled_;
  int totalSubjects_;
  Clock clock_;
  Width width_;
  ByteCount byteCount_;
  std::chrono::steady_clock::time_point start_;
  int finishedSubjects_ = 0;
  int simulatedSubjects_ = 0;
  uint64_t simulatedVoxelVolumes_ = 0;
  uint64_t subjectVoxelVolumes_ = 0;
  std::chrono::steady_clock::time_point lastSimulated_;
  uint64_t bytesWritten_ = 0;
  bool busy_ = false;
  bool drawn_ = false;
  bool stopping_ = false;
  std::condition_variable wake_;
  std::thread ticker_;
};

// Whether the progress line belongs on standard error: a terminal, and not --quiet.
bool progressWanted(bool quiet);

// The width of the terminal on standard error; 0 when it is none.
int terminalWidth();

}  // namespace cohortix::host
