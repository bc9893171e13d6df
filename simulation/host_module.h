#pragma once
// Finding the running host and its exported functions through the platform's
// loader: the module "TessalyKT.exe" on Windows, the main program elsewhere.

namespace cohortix {

// A handle to the host module, used only while binding; null when there is none.
void* findHostModule();

// The address of the named function exported by the host module, or null.
void* findHostFunction(void* module, const char* name);

}  // namespace cohortix
