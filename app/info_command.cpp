// cohortix info FILE...: what our .prt, .rtc and .vtc files hold, at a glance.

#include <CLI/CLI.hpp>
#include <iostream>
#include <memory>

#include "app/command.h"
#include "host/io/disk_interface.h"
#include "app/file_summary.h"

namespace cohortix::app {
namespace {

// Summarises every file it can; a file it cannot read is reported and makes the
// command fail, but does not stop the others.
ExitStatus showInfo(const std::vector<std::string>& files) {
  host::RealDiskInterface disk;
  ExitStatus status = ExitStatus::Success;
  for (const std::string& file : files) {
    const host::Result<std::string> summary = host::summariseFile(file, disk);
    if (summary) {
      std::cout << summary.value();
    } else {
      reportError(summary.status().message());
      status = ExitStatus::RunFailed;
    }
  }
  return status;
}

}  // namespace

void addInfoCommand(CLI::App& app, const GlobalOptions&, CommandAction& action) {
  auto files = std::make_shared<std::vector<std::string>>();
  CLI::App* command = app.add_subcommand("info", "Summarise .prt, .rtc and .vtc files");
  command->add_option("files", *files, "Files to summarise")->required();
  command->callback([&action, files] { action = [files] { return showInfo(*files); }; });
}

}  // namespace cohortix::app
