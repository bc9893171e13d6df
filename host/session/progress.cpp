#include "host/session/progress.h"

#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <ostream>
#include <string_view>

#include "simulation/run_texts.h"

namespace cohortix::host {
namespace {

// The part of the per-subject log line before its number.
std::string_view subjectLinePrefix() {
  const std::string_view format = texts::kSubjectFormat;
  return format.substr(0, format.find("%i"));
}

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

void Progress::noteLogLine(const char* text) {
  const std::string_view prefix = subjectLinePrefix();
  if (text == nullptr || std::strncmp(text, prefix.data(), prefix.size()) != 0) return;
  currentSubject_ = std::atoi(text + prefix.size());
  redraw();
}

void Progress::noteSubjectFinished() {
  ++finishedSubjects_;
  redraw();
}

void Progress::noteBytesWritten(uint64_t bytes) { bytesWritten_ += bytes; }

void Progress::setBusy(bool busy) {
  busy_ = busy;
  if (busy) redraw();
  else clear();
}

std::string Progress::line() const {
  const auto elapsed = clock_() - start_;
  std::string text = "subject " + std::to_string(currentSubject_);
  if (totalSubjects_ > 0) text += " of " + std::to_string(totalSubjects_);
  text += ", " + duration(elapsed) + " elapsed";
  if (totalSubjects_ > 0 && finishedSubjects_ > 0 && finishedSubjects_ <= totalSubjects_) {
    text += ", about " + duration(elapsed / finishedSubjects_ * (totalSubjects_ - finishedSubjects_)) + " left";
  }
  return text + ", " + megabytes(bytesWritten_) + " written";
}

void Progress::clear() {
  if (!drawn_) return;
  terminal_ << "\r\033[K" << std::flush;
  drawn_ = false;
}

void Progress::redraw() {
  if (!enabled_ || !busy_ || currentSubject_ == 0) return;
  terminal_ << "\r\033[K" << line() << std::flush;
  drawn_ = true;
}

void Progress::finish() {
  clear();
  enabled_ = false;
}

bool progressWanted(bool quiet) { return !quiet && ::isatty(STDERR_FILENO) == 1; }

}  // namespace cohortix::host
