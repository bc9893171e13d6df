#include "host/session/host_reporter.h"

#include "host/session/progress.h"

namespace cohortix::host {

HostReporter::HostReporter(std::ostream& log, std::ostream& messages, Progress& progress, bool quiet)
    : log_(log), messages_(messages), progress_(progress), quiet_(quiet) {}

void HostReporter::report(const std::string& text) {
  hostMessages_.push_back(text);
  progress_.printAbove(messages_, "cohortix: " + text);
}

bool HostReporter::refuse(const std::string& text) {
  report(text);
  return false;
}

void HostReporter::logLine(const char* text) {
  if (text == nullptr) return report("ktLogText: no text given");
  if (!quiet_) progress_.printAbove(log_, text);
}

void HostReporter::messageBox(const char* text) {
  if (text == nullptr) return report("ktMessageBox: no text given");
  messagesShown_.emplace_back(text);
  progress_.printAbove(messages_, text);
}

}  // namespace cohortix::host
