#pragma once
// One use of the plug-in as the host application makes it: load, create,
// initialise, execute, destroy.

#include <filesystem>
#include <string>

namespace cohortix::host {

class HostSession;

enum class PluginRunOutcome {
  Completed,        // execute returned true
  Failed,           // execute returned false
  Unavailable,      // the library could not be loaded
  Refused,          // initPlugin returned false
};

struct PluginRunResult {
  PluginRunOutcome outcome = PluginRunOutcome::Unavailable;
  std::string error;  // for Unavailable: what went wrong
};

// Runs the plug-in at path once, serving it from session. `askForReports`: when the
// plug-in can tell, ask it what it draws for every subject, so that each saved
// subject carries its components (the host application never asks).
PluginRunResult runPlugin(const std::filesystem::path& path, HostSession& session,
                          bool askForReports = true);

}  // namespace cohortix::host
