#include "simulation/run_failure.h"

#include "simulation/host_function_table.h"

namespace cohortix {

void stopBusyAndShow(const char* message) {
  hostFunctions().ktStopBusyCursor();
  hostFunctions().ktMessageBox(message);
}

}  // namespace cohortix
