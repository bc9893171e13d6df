#pragma once
// The subcommands of the cohortix command. Each adds itself to the command line and
// leaves in `action` what to do when it is the one chosen.

#include <functional>
#include <string>
#include <vector>

#include "app/exit_status.h"

namespace CLI {
class App;
}

namespace cohortix::app {

struct GlobalOptions {
  std::string pluginPath;  // empty: the plug-in beside the executable
  std::vector<std::string> arguments;  // the command line as given, for the run's record
};

using CommandAction = std::function<ExitStatus()>;

void addRunCommand(CLI::App& app, const GlobalOptions& global, CommandAction& action);
void addAboutCommand(CLI::App& app, const GlobalOptions& global, CommandAction& action);
void addInfoCommand(CLI::App& app, const GlobalOptions& global, CommandAction& action);
void addReportCommand(CLI::App& app, const GlobalOptions& global, CommandAction& action);
void addSweepCommand(CLI::App& app, const GlobalOptions& global, CommandAction& action);
void addPowerCommand(CLI::App& app, const GlobalOptions& global, CommandAction& action);
void addRerunCommand(CLI::App& app, const GlobalOptions& global, CommandAction& action);

// The plug-in the command uses: --plugin, or the one beside the executable.
std::string pluginPathOf(const GlobalOptions& global);

// Reports a failure of the command itself (not a message of the plug-in).
void reportError(const std::string& what);

}  // namespace cohortix::app
