#pragma once

namespace cohortix {

// One whole simulation run: the body of CohortixPlugin::execute. True when every
// subject's files have been handed to the host.
bool runSimulation();

}  // namespace cohortix
