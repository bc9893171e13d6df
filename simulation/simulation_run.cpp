#include "simulation/simulation_run.h"

#include "plugin/host_function_table.h"
#include "simulation/run_texts.h"

namespace cohortix {

// First stage of the run: checks of the host's state and the choice of the control
// file. The simulation itself follows the file dialog.
bool runSimulation() {
  const HostFunctionTable& host = hostFunctions();
  host.ktShowLogTab();
  host.ktLogText(texts::kBlankLine);
  host.ktLogText(texts::kRunning);
  int dimX = 0, dimY = 0, dimZ = 0;
  if (host.ktGetCurrentVMR(&dimX, &dimY, &dimZ) == nullptr) {
    host.ktMessageBox(texts::kNoVMR);
    return false;
  }
  if (dimX != 256 || dimY != 256 || dimZ != 256) {
    host.ktMessageBox(texts::kWrongVMRDims);
    return false;
  }
  char path[kFileNameBufferSize] = {};
  if (host.ktGetOpenFileName(texts::kOpenFilePrompt, "", texts::kOpenFileFilter, path) == 0)
    return false;
  return false;
}

}  // namespace cohortix
