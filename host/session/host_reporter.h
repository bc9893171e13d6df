#pragma once
// The one way the host speaks: the plug-in's log lines and message boxes, and the
// host's own reports (a refused call, a file not written), each kept out of the
// progress line's way. Used on the plug-in's thread only.

#include <iosfwd>
#include <string>
#include <vector>

#include "host/io/status.h"

namespace cohortix::host {

class Progress;

class HostReporter {
 public:
  HostReporter(std::ostream& log, std::ostream& messages, Progress& progress, bool quiet);

  // The host's own report, "cohortix: text", on the message output.
  void report(const std::string& text);
  // A refused call: the report, then the false result the call gives.
  bool refuse(const std::string& text);
  bool refuse(const Status& why) { return refuse(why.message()); }

  // The plug-in's own texts: a log line (none when quiet) and a message box.
  void logLine(const char* text);
  void messageBox(const char* text);

  // What the host itself reported, without prefix, and the plug-in's messages.
  const std::vector<std::string>& hostMessages() const { return hostMessages_; }
  const std::vector<std::string>& messagesShown() const { return messagesShown_; }

 private:
  std::ostream& log_;
  std::ostream& messages_;
  Progress& progress_;
  bool quiet_;
  std::vector<std::string> hostMessages_;
  std::vector<std::string> messagesShown_;
};

}  // namespace cohortix::host
