// The library's face towards its host: the factory, the metadata queries and the
// plug-in class.

#include <string>

#include "plugin/host_function_table.h"
#include "plugin/plugin_interface.h"
#include "plugin/plugin_texts.h"
#include "plugin/version_gate.h"
#include "simulation/simulation_run.h"

using namespace cohortix;

TSKTPluginInterface::TSKTPluginInterface() = default;
TSKTPluginInterface::TSKTPluginInterface(const TSKTPluginInterface&) = default;
TSKTPluginInterface& TSKTPluginInterface::operator=(const TSKTPluginInterface&) = default;
TSKTPluginInterface::~TSKTPluginInterface() = default;

CohortixPlugin::CohortixPlugin() = default;
CohortixPlugin::~CohortixPlugin() = default;

namespace {

void showMessage(const char* text) {
  if (hostFunctions().ktMessageBox != nullptr) hostFunctions().ktMessageBox(text);
}

}  // namespace

bool CohortixPlugin::initPlugin() {
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

bool CohortixPlugin::execute() {
  if (!hostFunctionsReady()) return false;
  return runSimulation();
}

extern "C" {

TSKTPluginInterface* createPlugin() { return new CohortixPlugin(); }
const char* getPluginName() { return texts::kPluginName; }
const char* getPluginDescription() { return texts::kPluginDescription; }
const char* getAuthor() { return texts::kAuthor; }
const char* getHelpFile() { return texts::kEmpty; }
const char* getPluginVersion() { return texts::kPluginVersion; }
const char* getGUIScript() { return texts::kEmpty; }
}
