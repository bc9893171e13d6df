#include "app/command_line.h"

#include <CLI/CLI.hpp>
#include <csignal>
#include <iostream>
#include <new>
#include <string>
#include <system_error>

#include "app/analyze_command.h"
#include "app/check_command.h"
#include "app/command.h"
#include "app/command_suggestion.h"
#include "app/output_streams.h"
#include "app/score_command.h"
#include "host/loader/plugin_library.h"

namespace cohortix::app {
namespace {

constexpr char kNotEnoughMemory[] =
    "not enough memory to finish: give the process more (ulimit -v, the control group's limit, "
    "other programs) or ask for less";

}  // namespace

std::string pluginPathOf(const GlobalOptions& global) {
  return global.pluginPath.empty() ? host::defaultPluginPath().string() : global.pluginPath;
}

void reportError(const std::string& what) { std::cerr << "cohortix: " << what << '\n'; }

namespace {

// A validator's message that names its option already reads "--tr must be ...",
// not "--tr: --tr must be ...".
std::string withoutRepeatedName(const std::string& text) {
  const std::size_t colon = text.find(": ");
  if (colon == std::string::npos || colon == 0) return text;
  const std::string name = text.substr(0, colon);
  return text.compare(colon + 2, name.size() + 1, name + " ") == 0 ? text.substr(colon + 2) : text;
}

}  // namespace

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
  global.arguments.assign(argv, argv + argc);
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
  addRerunCommand(app, global, action);
  app.footer("Every option's default and limits are shown by cohortix COMMAND --help; the "
             "control file, the formats and each feature are described in docs/ (start with "
             "docs/control-file.md).");
  std::vector<std::string> commands;
  for (const CLI::App* command : app.get_subcommands([](CLI::App*) { return true; }))
    commands.push_back(command->get_name());
  if (const auto typed = unknownSubcommand(argc, argv, commands)) {
    reportError(unknownSubcommandMessage(*typed, commands));
    return toExitCode(ExitStatus::UsageError);
  }
  ExitStatus status = ExitStatus::Success;
  try {
    app.parse(argc, argv);
    status = action();
  } catch (const CLI::Success& e) {
    app.exit(e);  // --help, --version
  } catch (const CLI::ParseError& e) {
    reportError(withoutRepeatedName(e.what()));
    status = ExitStatus::UsageError;
  } catch (const std::bad_alloc&) {
    // The last resort: what was made so far has been given back on the way here
    // (temporaries removed, files left only whole), and the user reads one line.
    reportError(kNotEnoughMemory);
    status = ExitStatus::RunFailed;
  } catch (const std::system_error& e) {
    // A thread that could not be started is memory too (its stack); anything else
    // the system refused is said as it is.
    const bool memory = e.code() == std::errc::resource_unavailable_try_again ||
                        e.code() == std::errc::not_enough_memory;
    reportError(memory ? std::string(kNotEnoughMemory) : std::string("cannot go on: ") + e.what());
    status = ExitStatus::RunFailed;
  }
  // What was asked for did not reach its reader: that is no success. A run's
  // product is its files; its log may go unread (and was said to).
  if (standardOutputFailed() && status == ExitStatus::Success && !app.got_subcommand("run"))
    status = ExitStatus::RunFailed;
  return toExitCode(status);
}

}  // namespace cohortix::app
