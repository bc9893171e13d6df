#include "plugin/plugin_operations.h"

#include <string>

#include "simulation/host_function_table.h"
#include "plugin/plugin_texts.h"
#include "plugin/version_gate.h"
#include "simulation/simulation_run.h"

using namespace cohortix;

namespace {

void showMessage(const char* text) {
  if (hostFunctions().ktMessageBox != nullptr) hostFunctions().ktMessageBox(text);
}

}  // namespace

bool cohortixInitPlugin() {
  if (!bindHostFunctionTable()) return false;
  int major = 0, minor = 0, patch = 0;
  hostFunctions().ktGetVersionOfTessalyKT(&major, &minor, &patch);
  if (!versionAtLeast(major, minor, patch, 2, 0, 0)) {
    setHostFunctionsReady(false);
    showMessage(texts::kHostTooOld);
    return false;
  }
  // A run calls its host functions without looking; refuse now rather than call
  // through a null entry later.
  const std::string missing = missingCalledHostFunctions();
  if (!missing.empty()) {
    setHostFunctionsReady(false);
    showMessage((texts::kHostIncomplete + missing + ".").c_str());
    return false;
  }
  setHostFunctionsReady(true);
  return true;
}

bool cohortixExecute() {
  if (!hostFunctionsReady()) return false;
  return runSimulation();
}
