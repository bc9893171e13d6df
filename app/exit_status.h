#pragma once
// Exit status of the cohortix command; the README lists them.

namespace cohortix::app {

enum class ExitStatus : int {
  Success = 0,            // the run (or command) completed
  RunFailed = 1,          // the plug-in's run returned false, or the input was rejected
  UsageError = 2,         // bad command line
  PluginUnavailable = 3,  // the plug-in could not be loaded or refused to initialise
  FilesNotWritten = 4,    // the run finished but some files could not be written
  Refused = 5,            // the run was refused before it started; nothing was written
  HungUp = 129,           // SIGHUP: the terminal went away
  Interrupted = 130,      // SIGINT
  Terminated = 143,       // SIGTERM
};

inline int toExitCode(ExitStatus status) { return static_cast<int>(status); }

}  // namespace cohortix::app
