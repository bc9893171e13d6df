#include "simulation/host_module.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace cohortix {

#ifdef _WIN32

void* findHostModule() {
  // No reference is taken: the host module outlives every plug-in it loads.
  return reinterpret_cast<void*>(GetModuleHandleA("TessalyKT.exe"));
}

void* findHostFunction(void* module, const char* name) {
  return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(module), name));
}

#else

void* findHostModule() {
  // The host is the main program; its exported symbols are in the global scope.
  return dlopen(nullptr, RTLD_NOW | RTLD_NOLOAD);
}

void* findHostFunction(void* module, const char* name) {
  return dlsym(module, name);
}

#endif

}  // namespace cohortix
