#pragma once
// cohortix check STUDY.cxd: reads a control file through the plug-in's own reader
// and summarises the study, or prints why the file is refused.

#include "app/command.h"

namespace cohortix::app {

void addCheckCommand(CLI::App& app, const GlobalOptions& global, CommandAction& action);

}  // namespace cohortix::app
