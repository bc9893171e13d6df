#include "host/session/progress.h"

#ifndef _WIN32
#include <sys/ioctl.h>
#endif
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <ostream>

namespace cohortix::host {
namespace {

std::string duration(std::chrono::steady_clock::duration elapsed) {
  const long long seconds =
      std::max<long long>(0, std::chrono::duration_cast<std::chrono::seconds>(elapsed).count());
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

Progress::Progress(std::ostream& terminal, bool enabled, int totalSubjects, Clock clock, Width width)
    : terminal_(terminal),
      enabled_(enabled),
      totalSubjects_(totalSubjects),
      clock_(clock ? std::move(clock) : Clock([] { return std::chrono::steady_clock::now(); })),
      width_(width ? std::move(width) : Width([] { return 0; })),
      start_(clock_()),
      lastSimulated_(start_) {}

Progress::~Progress() { finish(); }

void Progress::subjectSaved(const SavedSubject&, SubjectOutcomes& outcomes) {
  const std::lock_guard<std::mutex> lock(mutex_);
  ++finishedSubjects_;
  bytesWritten_ += outcomes.bytesWritten();
  redrawLocked();
}

void Progress::noteSimulated(uint64_t voxelVolumes) {
  const std::lock_guard<std::mutex> lock(mutex_);
  ++simulatedSubjects_;
  simulatedVoxelVolumes_ += voxelVolumes;
  subjectVoxelVolumes_ = voxelVolumes;
  lastSimulated_ = clock_();
  redrawLocked();
}

void Progress::noteBytesWritten(uint64_t bytes) {
  const std::lock_guard<std::mutex> lock(mutex_);
  bytesWritten_ += bytes;
}

void Progress::countBytesWith(ByteCount count) {
  const std::lock_guard<std::mutex> lock(mutex_);
  byteCount_ = std::move(count);
}

uint64_t Progress::bytesLocked() const { return byteCount_ ? byteCount_() : bytesWritten_; }

void Progress::setBusy(bool busy) {
  const std::lock_guard<std::mutex> lock(mutex_);
  busy_ = busy;
  if (busy) redrawLocked();
  else clearLocked();
}

void Progress::tick(std::chrono::milliseconds interval) {
  const std::lock_guard<std::mutex> lock(mutex_);
  if (!enabled_ || ticker_.joinable()) return;
  ticker_ = std::thread([this, interval] {
    std::unique_lock<std::mutex> held(mutex_);
    while (!wake_.wait_for(held, interval, [this] { return stopping_; })) redrawLocked();
  });
}

std::string Progress::line() const {
  const std::lock_guard<std::mutex> lock(mutex_);
  return lineLocked();
}

std::string Progress::fittedLine() const {
  const std::lock_guard<std::mutex> lock(mutex_);
  return fittedLocked();
}

Progress::Parts Progress::partsLocked() const {
  const auto now = clock_();
  Parts parts;
  int current = finishedSubjects_ + 1;
  if (totalSubjects_ > 0) current = std::min(current, totalSubjects_);
  parts.subject = std::to_string(current);
  if (totalSubjects_ > 0) parts.subject += " of " + std::to_string(totalSubjects_);
  parts.elapsed = duration(now - start_);
  if (totalSubjects_ > 0 && simulatedVoxelVolumes_ > 0 && lastSimulated_ > start_) {
    // Voxel-volumes still to simulate at the rate measured so far, less the time
    // since the last subject was simulated.
    const uint64_t total = subjectVoxelVolumes_ * static_cast<uint64_t>(totalSubjects_);
    const double perVoxelVolume = std::chrono::duration<double>(lastSimulated_ - start_).count() /
                                  static_cast<double>(simulatedVoxelVolumes_);
    const double seconds =
        static_cast<double>(total > simulatedVoxelVolumes_ ? total - simulatedVoxelVolumes_ : 0) *
            perVoxelVolume -
        std::chrono::duration<double>(now - lastSimulated_).count();
    parts.left = duration(std::chrono::seconds(static_cast<long long>(std::max(seconds, 0.0) + 0.5)));
  } else if (totalSubjects_ > 0 && finishedSubjects_ > 0 && finishedSubjects_ <= totalSubjects_) {
    // No simulation measured (a host that saw no VTC saved): whole subjects.
    parts.left = duration((now - start_) / finishedSubjects_ * (totalSubjects_ - finishedSubjects_));
  }
  parts.bytes = megabytes(bytesLocked());
  return parts;
}

std::string Progress::lineLocked() const {
  const Parts parts = partsLocked();
  std::string text = "subject " + parts.subject + ", " + parts.elapsed + " elapsed";
  if (!parts.left.empty()) text += ", about " + parts.left + " left";
  return text + ", " + parts.bytes + " written";
}

// The whole line where it fits, else a terse one without what does not fit (the
// bytes first, then the time left), cut short as a last resort: a line as wide as
// the terminal would wrap and scroll at every redraw.
std::string Progress::fittedLocked() const {
  std::string text = lineLocked();
  const int columns = width_();
  if (columns <= 0) return text;
  const std::size_t room = static_cast<std::size_t>(std::max(columns - 1, 0));
  if (text.size() <= room) return text;
  const Parts parts = partsLocked();
  const std::string left = parts.left.empty() ? "" : ", ~" + parts.left + " left";
  const std::string base = parts.subject + ", " + parts.elapsed;
  for (const std::string& terse : {base + left + ", " + parts.bytes, base + left, base})
    if (terse.size() <= room) return terse;
  return base.substr(0, room);
}

std::string Progress::summary(uint64_t files) const {
  const std::lock_guard<std::mutex> lock(mutex_);
  char seconds[32];
  std::snprintf(seconds, sizeof seconds, "%.1f",
                std::chrono::duration<double>(clock_() - start_).count());
  return std::to_string(simulatedSubjects_) +
         (simulatedSubjects_ == 1 ? " subject simulated, " : " subjects simulated, ") +
         std::to_string(files) + (files == 1 ? " file" : " files") + " written (" +
         megabytes(bytesLocked()) + ") in " + seconds + " s";
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
  terminal_ << "\r\033[K" << fittedLocked() << std::flush;
  drawn_ = true;
}

void Progress::finish() {
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    clearLocked();
    enabled_ = false;
    stopping_ = true;
  }
  wake_.notify_all();
  if (ticker_.joinable()) ticker_.join();
}

bool progressWanted(bool quiet) { return !quiet && ::isatty(STDERR_FILENO) == 1; }

int terminalWidth() {
#ifdef _WIN32
  return 0;  // the stand-in host draws no progress line
#else
  winsize size{};
  if (::ioctl(STDERR_FILENO, TIOCGWINSZ, &size) != 0) return 0;
  return size.ws_col;
#endif
}

}  // namespace cohortix::host
