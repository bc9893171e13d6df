#include "tests/support/recording_host.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <fstream>

#include "simulation/host_function_table.h"
#include "abi/plugin_interface.h"
#include "abi/subject_report.h"

namespace cohortix::testing {

RecordingHost::RecordingHost(host::SessionOptions options, HostFault fault) {
  options.recordCalls = true;
  if (options.outputDir == ".") options.outputDir = output_.path();
  session_ = std::make_unique<FaultyHostSession>(std::move(options), log_, messageOutput_, fault);
  host::setCurrentHostSession(session_.get());
  // Steps tested on their own call their host as a run would, through the table.
  bindHostFunctionTable();
}

RecordingHost::~RecordingHost() { host::setCurrentHostSession(nullptr); }

bool RecordingHost::runPlugin(bool reported) {
  CohortixPlugin plugin;
  if (!plugin.initPlugin()) return false;
  if (reported) cohortixReportSubjects(session_->subjectReport());
  const bool completed = plugin.execute();
  if (reported) cohortixReportSubjects(nullptr);
  return completed;
}

std::vector<std::string> RecordingHost::logLines() const {
  std::vector<std::string> lines;
  std::istringstream in(log_.str());
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

std::vector<std::string> RecordingHost::callsTo(const std::string& function) const {
  std::vector<std::string> matching;
  for (const std::string& call : calls())
    if (call.compare(0, function.size() + 1, function + "(") == 0) matching.push_back(call);
  return matching;
}

std::vector<std::string> RecordingHost::callsFrom(const std::string& function) const {
  const std::vector<std::string>& all = calls();
  for (auto it = all.begin(); it != all.end(); ++it)
    if (it->compare(0, function.size() + 1, function + "(") == 0)
      return std::vector<std::string>(it, all.end());
  return {};
}

}  // namespace cohortix::testing
