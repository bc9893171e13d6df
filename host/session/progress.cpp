#include "host/session/progress.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <ostream>

namespace cohortix::host {
namespace {

std::string duration(std::chrono::steady_clock::duration elapsed) {
  const long long seconds = std::chrono::duration_cast<std::chrono::seconds>(elapsed).count();
  char text[32];
  std::snprintf(text, sizeof text, "%lld:%02lld", seconds / 60, seconds % 60);
  return text;
}

std::string megabytes(uint64_t bytes) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f MB", static_cast<double>(bytes) / 1e6);
  return text;
}

}  // namespace

Progress::Progress(std::ostream& terminal, bool enabled, int totalSubjects, Clock clock)
    : terminal_(terminal),
      enabled_(enabled),
      totalSubjects_(totalSubjects),
      clock_(clock ? std::move(clock) : Clock([] { return std::chrono::steady_clock::now(); })),
      start_(clock_()) {}

void Progress::subjectSaved(const SavedSubject&, SubjectOutcomes& outcomes) {
  const std::lock_guard<std::mutex> lock(mutex_);
  ++finishedSubjects_;
  bytesWritten_ += outcomes.bytesWritten();
  redrawLocked();
}

void Progress::noteBytesWritten(uint64_t bytes) {
  const std::lock_guard<std::mutex> lock(mutex_);
  bytesWritten_ += bytes;
}

void Progress::setBusy(bool busy) {
  const std::lock_guard<std::mutex> lock(mutex_);
  busy_ = busy;
  if (busy) redrawLocked();
  else clearLocked();
}

std::string Progress::line() const {
  const std::lock_guard<std::mutex> lock(mutex_);
  return lineLocked();
}

std::string Progress::lineLocked() const {
  const auto elapsed = clock_() - start_;
  int current = finishedSubjects_ + 1;
  if (totalSubjects_ > 0) current = std::min(current, totalSubjects_);
  std::string text = "subject " + std::to_string(current);
  if (totalSubjects_ > 0) text += " of " + std::to_string(totalSubjects_);
  text += ", " + duration(elapsed) + " elapsed";
  if (totalSubjects_ > 0 && finishedSubjects_ > 0 && finishedSubjects_ <= totalSubjects_) {
    text += ", about " + duration(elapsed / finishedSubjects_ * (totalSubjects_ - finishedSubjects_)) + " left";
  }
  return text + ", " + megabytes(bytesWritten_) + " written";
}

void Progress::printAbove(std::ostream& out, std::string_view text) {
  const std::lock_guard<std::mutex> lock(mutex_);
  clearLocked();
  out << text << '\n' << std::flush;
  redrawLocked();
}

void Progress::clearLocked() {
  if (!drawn_) return;
  terminal_ << "\r\033[K" << std::flush;
  drawn_ = false;
}

void Progress::redrawLocked() {
  if (!enabled_ || !busy_) return;
  terminal_ << "\r\033[K" << lineLocked() << std::flush;
  drawn_ = true;
}

void Progress::finish() {
  const std::lock_guard<std::mutex> lock(mutex_);
  clearLocked();
  enabled_ = false;
}

bool progressWanted(bool quiet) { return !quiet && ::isatty(STDERR_FILENO) == 1; }

}  // namespace cohortix::host
