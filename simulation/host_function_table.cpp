#include "simulation/host_function_table.h"

#include "simulation/host_module.h"

namespace cohortix {
namespace {

HostFunctionTable gTable;
bool gReady = false;

template <typename Entry>
void store(Entry& entry, void* address) {
  entry = reinterpret_cast<Entry>(address);
}

}  // namespace

const HostFunctionTable& hostFunctions() { return gTable; }

bool bindHostFunctionTable() {
  void* module = findHostModule();
  if (module == nullptr) return false;
  void* version = findHostFunction(module, "ktGetVersionOfTessalyKT");
  if (version == nullptr) return false;
  store(gTable.ktGetVersionOfTessalyKT, version);
#define COHORTIX_BIND(name) \
  if (&gTable.name != static_cast<void*>(&gTable.ktGetVersionOfTessalyKT)) \
    store(gTable.name, findHostFunction(module, #name));
  COHORTIX_HOST_FUNCTIONS(COHORTIX_BIND, COHORTIX_BIND)
#undef COHORTIX_BIND
  return true;
}

std::string missingCalledHostFunctions() {
  std::string missing;
#define COHORTIX_CHECK_CALLED(name)           \
  if (gTable.name == nullptr) {               \
    if (!missing.empty()) missing += ", ";    \
    missing += #name;                         \
  }
#define COHORTIX_SKIP_BOUND(name)
  COHORTIX_HOST_FUNCTIONS(COHORTIX_CHECK_CALLED, COHORTIX_SKIP_BOUND)
#undef COHORTIX_CHECK_CALLED
#undef COHORTIX_SKIP_BOUND
  return missing;
}

bool hostFunctionsReady() { return gReady; }
void setHostFunctionsReady(bool ready) { gReady = ready; }

}  // namespace cohortix
