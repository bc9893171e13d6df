#pragma once
// A real host session inside the test process that keeps the text of every host
// call, for tests that drive the plug-in's run or one of its steps and look at
// what it asked of its host, in order.

#include <filesystem>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "host/session/host_session.h"
#include "tests/support/faulty_host_session.h"
#include "tests/support/scratch_folder.h"

namespace cohortix::testing {

// The host writes its files into a scratch folder of the host's own unless the
// options name an output folder.
class RecordingHost {
 public:
  explicit RecordingHost(host::SessionOptions options = {}, HostFault fault = HostFault::None);
  ~RecordingHost();
  RecordingHost(const RecordingHost&) = delete;
  RecordingHost& operator=(const RecordingHost&) = delete;

  // initPlugin then execute on a fresh plug-in object, as the host does;
  // `reported`: asking first for the plug-in's subject reports, as our host does.
  bool runPlugin(bool reported = false);

  host::HostSession& session() { return *session_; }
  const host::HostSession& session() const { return *session_; }
  const std::vector<std::string>& calls() const { return session_->calls(); }
  const std::vector<std::string>& messages() const { return session_->messagesShown(); }
  const std::filesystem::path& outputFolder() const { return session_->options().outputDir; }
  std::vector<std::string> logLines() const;

  // The recorded calls to one host function, e.g. callsTo("ktLogText").
  std::vector<std::string> callsTo(const std::string& function) const;
  // The recorded calls from the first call to `function` on.
  std::vector<std::string> callsFrom(const std::string& function) const;

 private:
  ScratchFolder output_;
  std::ostringstream log_;
  std::ostringstream messageOutput_;
  std::unique_ptr<host::HostSession> session_;
};

}  // namespace cohortix::testing
