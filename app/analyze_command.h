#pragma once
// cohortix analyze RUN: fits every subject of a run (or a BIDS dataset) and
// writes the group's statistical maps.

#include "app/command.h"

namespace cohortix::app {

void addAnalyzeCommand(CLI::App& app, const GlobalOptions& global, CommandAction& action);

}  // namespace cohortix::app
