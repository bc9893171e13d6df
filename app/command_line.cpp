#include "app/command_line.h"

#include <CLI/CLI.hpp>
#include <iostream>

#include "app/check_command.h"
#include "app/command.h"
#include "host/loader/plugin_library.h"

namespace cohortix::app {

std::string pluginPathOf(const GlobalOptions& global) {
  return global.pluginPath.empty() ? host::defaultPluginPath().string() : global.pluginPath;
}

void reportError(const std::string& what) { std::cerr << "cohortix: " << what << '\n'; }

int runCommandLine(int argc, char** argv) {
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
  addSweepCommand(app, global, action);
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    const int code = app.exit(e);
    return code == 0 ? 0 : toExitCode(ExitStatus::UsageError);
  }
  return toExitCode(action());
}

}  // namespace cohortix::app
