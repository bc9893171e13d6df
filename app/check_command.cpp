#include "app/check_command.h"

#include <CLI/CLI.hpp>
#include <iostream>
#include <memory>

#include "app/design_summary.h"
#include "app/run_admission.h"
#include "control/control_file_reader.h"
#include "control/supported_design.h"
#include "simulation/run_texts.h"

namespace cohortix::app {
namespace {

ExitStatus checkControlFile(const std::string& path) {
  if (const host::Status readable = regularFileOrAbsent(path); !readable)
    return reportError(readable.message()), ExitStatus::RunFailed;
  // The design is far too large for the stack.
  auto design = std::make_unique<SimulationDesign>();
  std::string message;
  if (!parseControlFile(path.c_str(), *design, message)) {
    std::cerr << message << '\n';
    return ExitStatus::RunFailed;
  }
  printDesignSummary(std::cout, *design);
  // The reader lets such a design through; the run stops it at its first subject.
  if (!supportedDesign(*design)) {
    std::cerr << texts::kUnsupportedDesign << '\n';
    return ExitStatus::RunFailed;
  }
  return ExitStatus::Success;
}

}  // namespace

void addCheckCommand(CLI::App& app, const GlobalOptions&, CommandAction& action) {
  auto path = std::make_shared<std::string>();
  CLI::App* command =
      app.add_subcommand("check", "Read a control file and summarise the study it describes");
  command->add_option("control-file", *path, "Control file (.cxd)")->required();
  command->callback([&action, path] { action = [path] { return checkControlFile(*path); }; });
}

}  // namespace cohortix::app
