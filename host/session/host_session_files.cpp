// The host session's files: the output folder, the names the plug-in gives, and
// every write and read, through the session's disk.

#include <string>

#include "host/io/disk_interface.h"
#include "host/session/host_session.h"
#include "host/io/plain_file_name.h"

namespace cohortix::host {
namespace {

std::string joined(const std::vector<std::string>& names) {
  std::string text;
  for (const std::string& name : names) text += (text.empty() ? "" : ", ") + name;
  return text;
}

}  // namespace

bool HostSession::prepareOutputFolder() {
  const Status made = disk_.makeDirs(options_.outputDir);
  if (made) return true;
  return refuse(made.context("cannot create the output folder " + options_.outputDir.string()).message());
}

bool HostSession::finish() {
  collectBackgroundWrite();
  progress_.finish();
  if (filesNotWritten_.empty()) return true;
  report(std::to_string(filesNotWritten_.size()) + " of the run's files could not be written: " +
         joined(filesNotWritten_));
  return false;
}

bool HostSession::checkedOutputName(const char* call, const char* fileName) {
  if (fileName == nullptr) return refuse(std::string(call) + ": no file name given");
  const std::string problem = outputNameProblem(fileName);
  if (problem.empty()) return true;
  return refuse(std::string(call) + ": refused the file name \"" + fileName + "\": " + problem);
}

void HostSession::noteWritten(const std::string& name, bool written) {
  std::erase(filesNotWritten_, name);
  if (!written) filesNotWritten_.push_back(name);
}

bool HostSession::writeOutput(const char* call, const char* fileName,
                              std::span<const std::string_view> parts) {
  if (!checkedOutputName(call, fileName)) {
    noteWritten(fileName == nullptr ? "(no name)" : fileName, false);
    return false;
  }
  const Status status = disk_.writeFile(resolveOutputName(options_.outputDir, fileName), parts);
  const bool written = status.isOk();
  noteWritten(fileName, written);
  if (!written) report(status.context("cannot write " + std::string(fileName)).message());
  for (const std::string_view part : parts)
    if (written) progress_.noteBytesWritten(part.size());
  return written;
}

void HostSession::collectBackgroundWrite() {
  const std::optional<WriteOutcome> outcome = writer_.wait();
  if (!outcome) return;
  noteWritten(outcome->name, outcome->written);
  if (outcome->written) progress_.noteBytesWritten(outcome->bytes);
  else report("cannot write " + outcome->name + ": " + outcome->error);
}

bool HostSession::readInput(const char* fileName, std::string* contents) {
  Result<std::string> read = disk_.readFile(resolveOutputName(options_.outputDir, fileName));
  if (!read) return refuse(read.status().context("cannot read " + std::string(fileName)).message());
  *contents = std::move(read).value();
  return true;
}

}  // namespace cohortix::host
