#include "app/command_line.h"

#include <CLI/CLI.hpp>
#include <csignal>
#include <iostream>

#include "app/analyze_command.h"
#include "app/check_command.h"
#include "app/command.h"
#include "app/output_streams.h"
#include "app/score_command.h"
#include "host/loader/plugin_library.h"

namespace cohortix::app {

std::string pluginPathOf(const GlobalOptions& global) {
  return global.pluginPath.empty() ? host::defaultPluginPath().string() : global.pluginPath;
}

void reportError(const std::string& what) { std::cerr << "cohortix: " << what << '\n'; }

void addNoiseStatsCommand(CLI::App& app, const GlobalOptions& global, CommandAction& action);

int runCommandLine(int argc, char** argv) {
  // A reader that goes away and a file grown past the limit (ulimit -f) are write
  // errors, reported by what could not be written; they do not end the process.
  std::signal(SIGPIPE, SIG_IGN);
  std::signal(SIGXFSZ, SIG_IGN);
  const OutputStreams output;
  CLI::App app{"Cohortix simulates group fMRI studies with a known ground truth.", "cohortix"};
  app.set_version_flag("--version", "cohortix 1.5 (plug-in Cohortix v1.5)");
  app.require_subcommand(1);
  GlobalOptions global;
  app.add_option("--plugin", global.pluginPath,
                 "Plug-in library to load (default: libcohortix.so beside the executable)");
  CommandAction action;
  addRunCommand(app, global, action);
  addAboutCommand(app, global, action);
  addCheckCommand(app, global, action);
  addInfoCommand(app, global, action);
  addNoiseStatsCommand(app, global, action);
  addAnalyzeCommand(app, global, action);
  addScoreCommand(app, global, action);
  addReportCommand(app, global, action);
  addSweepCommand(app, global, action);
  addPowerCommand(app, global, action);
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    const int code = app.exit(e);
    return code == 0 ? 0 : toExitCode(ExitStatus::UsageError);
  }
  return toExitCode(action());
}

}  // namespace cohortix::app
