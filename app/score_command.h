#pragma once
// cohortix score MAP --truth FILE: how well a statistical map finds the truth.

#include "app/command.h"

namespace cohortix::app {

void addScoreCommand(CLI::App& app, const GlobalOptions& global, CommandAction& action);

}  // namespace cohortix::app
