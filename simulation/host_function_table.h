#pragma once
// The process-wide table of host functions, bound by name in initPlugin. Every call
// the plug-in makes into its host goes through hostFunctions().

#include <string>

#include "abi/host_functions.h"

namespace cohortix {

struct HostFunctionTable {
#define COHORTIX_TABLE_CALLED(name) host_signature::name* name = nullptr;
#define COHORTIX_TABLE_BOUND(name) void* name = nullptr;
  COHORTIX_HOST_FUNCTIONS(COHORTIX_TABLE_CALLED, COHORTIX_TABLE_BOUND)
#undef COHORTIX_TABLE_CALLED
#undef COHORTIX_TABLE_BOUND
};

// The table as last bound; every entry null until the first binding.
const HostFunctionTable& hostFunctions();

// Binds every entry by name in the running host. Fails, leaving the table as it
// was, when the host module or its version query cannot be found; any other name
// that is missing is stored as null.
bool bindHostFunctionTable();

// The called entries that the last binding left null, as "ktA, ktB"; empty when
// every function the simulator calls was found.
std::string missingCalledHostFunctions();

// True once a binding has succeeded and every called entry is present, so a run
// can never call through a null entry.
bool hostFunctionsReady();
void setHostFunctionsReady(bool ready);

}  // namespace cohortix
