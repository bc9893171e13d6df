// A minimal host for loading tests: exports a chosen set of host functions, loads
// the plug-in, and reports on standard output what the plug-in did.
//
//   test_host PLUGIN MAJOR MINOR PATCH [execute|execute-only]
//
// Prints "initPlugin: true|false", "execute: true|false", every host call as
// "call: NAME" and every message as "message: TEXT". Built three times: exporting
// every called function, all but ktShowBusyCursor, and none at all.

#include <dlfcn.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "abi/host_records.h"
#include "abi/plugin_interface.h"

#ifdef TEST_HOST_EXPORTS_NOTHING
#define TEST_HOST_API extern "C" __attribute__((visibility("hidden")))
#else
#define TEST_HOST_API extern "C" __attribute__((visibility("default")))
#endif

namespace {
int gVersion[3] = {2, 0, 0};
void note(const char* name) { std::printf("call: %s\n", name); }
}  // namespace

TEST_HOST_API bool ktGetVersionOfTessalyKT(int* major, int* minor, int* patch) {
  note("ktGetVersionOfTessalyKT");
  *major = gVersion[0];
  *minor = gVersion[1];
  *patch = gVersion[2];
  return true;
}
TEST_HOST_API bool ktMessageBox(const char* text) {
  std::printf("message: %s\n", text);
  return true;
}
TEST_HOST_API void* ktGetCurrentVMR(int*, int*, int*) {
  note("ktGetCurrentVMR");
  return nullptr;
}
TEST_HOST_API int ktGetOpenFileName(const char*, const char*, const char*, char*) {
  note("ktGetOpenFileName");
  return 0;
}
TEST_HOST_API float* ktGetVTCFloatDataOfCurrentVMR() {
  note("ktGetVTCFloatDataOfCurrentVMR");
  return nullptr;
}
TEST_HOST_API float* ktGetPredictor(int) {
  note("ktGetPredictor");
  return nullptr;
}

#define TEST_HOST_NOTE(name, ...) \
  TEST_HOST_API bool name(__VA_ARGS__) { note(#name); return true; }
TEST_HOST_NOTE(ktShowLogTab)
TEST_HOST_NOTE(ktLogText, const char*)
TEST_HOST_NOTE(ktUpdateActiveWindow)
#ifndef TEST_HOST_OMIT_BUSY_CURSOR
TEST_HOST_NOTE(ktShowBusyCursor)
#endif
TEST_HOST_NOTE(ktStopBusyCursor)
TEST_HOST_NOTE(ktCreateVTCForCurrentVMR, int, cohortix::VTCHeader*)
TEST_HOST_NOTE(ktGetHeaderOfVTCOfCurrentVMR, cohortix::VTCHeader*)
TEST_HOST_NOTE(ktSaveVTCOfCurrentVMR, const char*)
TEST_HOST_NOTE(ktClearProtocol)
TEST_HOST_NOTE(ktLoadProtocol, const char*)
TEST_HOST_NOTE(ktSaveProtocol, const char*)
TEST_HOST_NOTE(ktGetProtocol, cohortix::ProtocolRecord*)
TEST_HOST_NOTE(ktSetProtocol, cohortix::ProtocolRecord*)
TEST_HOST_NOTE(ktGetProtocolCondition, int, cohortix::ConditionRecord*)
TEST_HOST_NOTE(ktAddProtocolCondition, cohortix::ConditionRecord*)
TEST_HOST_NOTE(ktAddProtocolConditionInterval, int, int, int)
TEST_HOST_NOTE(ktClearDesignMatrix)
TEST_HOST_NOTE(ktAddPredictor, cohortix::ConditionRecord*)
TEST_HOST_NOTE(ktSetPredictorValuesFromCondition, cohortix::ConditionRecord*, int, float)
TEST_HOST_NOTE(ktApplyTwoGammaHRFToPredictor, int)
TEST_HOST_NOTE(ktSaveSingleStudyGLMDesignMatrix, const char*)

int main(int argc, char** argv) {
  if (argc < 5) {
    std::fprintf(stderr, "usage: %s PLUGIN MAJOR MINOR PATCH [execute|execute-only]\n", argv[0]);
    return 2;
  }
  for (int i = 0; i < 3; ++i) gVersion[i] = std::atoi(argv[2 + i]);
  const std::string mode = argc > 5 ? argv[5] : "";
  void* library = dlopen(argv[1], RTLD_NOW | RTLD_LOCAL);
  if (library == nullptr) {
    std::fprintf(stderr, "%s\n", dlerror());
    return 3;
  }
  auto create = reinterpret_cast<TSKTPluginInterface* (*)()>(dlsym(library, "createPlugin"));
  TSKTPluginInterface* plugin = create();
  if (mode != "execute-only") std::printf("initPlugin: %s\n", plugin->initPlugin() ? "true" : "false");
  if (!mode.empty()) std::printf("execute: %s\n", plugin->execute() ? "true" : "false");
  delete plugin;
  std::fflush(stdout);
  dlclose(library);
  return 0;
}
