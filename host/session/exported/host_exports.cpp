// The host functions a plug-in binds by name, exported from the executable with C
// linkage. Each forwards to the service of the current host session that serves
// it; outside a session the function does nothing and reports failure, so a stray
// call cannot crash. Showing the log tab and redrawing the active window have
// nothing to do in a headless host.

#include <string>
#include <type_traits>

#include "host/session/host_session.h"
#include "host/session/record_text.h"
#include "abi/host_functions.h"

using cohortix::ConditionRecord;
using cohortix::ProtocolRecord;
using cohortix::VTCHeader;
using cohortix::host::currentHostSession;
using cohortix::host::HostSession;

namespace {

std::string describe(const char* text) {
  return text == nullptr ? std::string("null") : "\"" + std::string(text) + "\"";
}
std::string describe(int value) { return std::to_string(value); }
std::string describe(float value) { return std::to_string(value); }
std::string describe(const void* address) { return address == nullptr ? "null" : "&"; }
std::string describe(const ConditionRecord* record) {
  if (record == nullptr) return "null";
  // The name is read only within its field: the plug-in may have left no NUL.
  const std::string name = cohortix::host::readRecordText(record->ConditionName);
  return "{" + describe(name.c_str()) + ", " + std::to_string(record->Color) + "}";
}

// The call as a line of text, e.g. ktAddProtocolConditionInterval(1, 4, 8), for
// sessions that keep a record of what the plug-in asked of them.
template <typename... Args>
std::string callText(const char* name, const Args&... args) {
  std::string text = std::string(name) + "(";
  const char* separator = "";
  ((text += separator + describe(args), separator = ", "), ...);
  (void)separator;
  return text + ")";
}

template <typename Result, typename Action>
Result withSession(Result fallback, Action action) {
  HostSession* session = currentHostSession();
  return session != nullptr ? action(*session) : fallback;
}

template <typename Action>
bool withSessionDo(Action action) {
  return withSession(false, [&](HostSession& s) {
    action(s);
    return true;
  });
}

void noteCall(const std::string& call) {
  if (HostSession* session = currentHostSession()) session->noteCall(call);
}

}  // namespace

#ifdef _WIN32
#define COHORTIX_HOST_API extern "C" __declspec(dllexport)
#else
#define COHORTIX_HOST_API extern "C" __attribute__((visibility("default")))
#endif

COHORTIX_HOST_API bool ktGetVersionOfTessalyKT(int* major, int* minor, int* patch) {
  if (major == nullptr || minor == nullptr || patch == nullptr) return false;
  const HostSession* session = currentHostSession();
  const auto version = session != nullptr ? session->options().version : cohortix::host::HostVersion{};
  *major = version.major;
  *minor = version.minor;
  *patch = version.patch;
  return true;
}
COHORTIX_HOST_API bool ktShowLogTab() {
  noteCall(callText("ktShowLogTab"));
  return withSessionDo([](HostSession&) {});
}
COHORTIX_HOST_API bool ktLogText(const char* text) {
  noteCall(callText("ktLogText", text));
  return withSessionDo([&](HostSession& s) { s.general().logText(text); });
}
COHORTIX_HOST_API bool ktMessageBox(const char* text) {
  noteCall(callText("ktMessageBox", text));
  return withSessionDo([&](HostSession& s) { s.general().messageBox(text); });
}
COHORTIX_HOST_API int ktGetOpenFileName(const char* prompt, const char*, const char* filter,
                                        char* path) {
  noteCall(callText("ktGetOpenFileName", prompt, filter, static_cast<const void*>(path)));
  return withSession(0, [&](HostSession& s) { return s.general().openFileName(prompt, filter, path); });
}
COHORTIX_HOST_API bool ktUpdateActiveWindow() {
  noteCall(callText("ktUpdateActiveWindow"));
  return withSessionDo([](HostSession&) {});
}
COHORTIX_HOST_API bool ktShowBusyCursor() {
  noteCall(callText("ktShowBusyCursor"));
  return withSessionDo([](HostSession& s) { s.general().setBusy(true); });
}
COHORTIX_HOST_API bool ktStopBusyCursor() {
  noteCall(callText("ktStopBusyCursor"));
  return withSessionDo([](HostSession& s) { s.general().setBusy(false); });
}
COHORTIX_HOST_API void* ktGetCurrentVMR(int* dim1, int* dim2, int* dim3) {
  noteCall(callText("ktGetCurrentVMR", dim1, dim2, dim3));
  return withSession<void*>(nullptr, [&](HostSession& s) { return s.general().currentVMR(dim1, dim2, dim3); });
}
COHORTIX_HOST_API bool ktCreateVTCForCurrentVMR(int nrOfVolumes, VTCHeader* header) {
  noteCall(callText("ktCreateVTCForCurrentVMR", nrOfVolumes, header));
  return withSession(false, [&](HostSession& s) { return s.vtcs().create(nrOfVolumes, header); });
}
COHORTIX_HOST_API bool ktGetHeaderOfVTCOfCurrentVMR(VTCHeader* header) {
  noteCall(callText("ktGetHeaderOfVTCOfCurrentVMR", header));
  return withSession(false, [&](HostSession& s) { return s.vtcs().getHeader(header); });
}
COHORTIX_HOST_API float* ktGetVTCFloatDataOfCurrentVMR() {
  noteCall(callText("ktGetVTCFloatDataOfCurrentVMR"));
  return withSession<float*>(nullptr, [](HostSession& s) { return s.vtcs().data(); });
}
COHORTIX_HOST_API bool ktSaveVTCOfCurrentVMR(const char* fileName) {
  noteCall(callText("ktSaveVTCOfCurrentVMR", fileName));
  return withSession(false, [&](HostSession& s) { return s.vtcs().save(fileName); });
}
COHORTIX_HOST_API bool ktClearProtocol() {
  noteCall(callText("ktClearProtocol"));
  return withSession(false, [](HostSession& s) { return s.protocols().clear(); });
}
COHORTIX_HOST_API bool ktLoadProtocol(const char* fileName) {
  noteCall(callText("ktLoadProtocol", fileName));
  return withSession(false, [&](HostSession& s) { return s.protocols().load(fileName); });
}
COHORTIX_HOST_API bool ktSaveProtocol(const char* fileName) {
  noteCall(callText("ktSaveProtocol", fileName));
  return withSession(false, [&](HostSession& s) { return s.protocols().save(fileName); });
}
COHORTIX_HOST_API bool ktGetProtocol(ProtocolRecord* record) {
  noteCall(callText("ktGetProtocol", record));
  return withSession(false, [&](HostSession& s) { return s.protocols().get(record); });
}
COHORTIX_HOST_API bool ktSetProtocol(ProtocolRecord* record) {
  noteCall(callText("ktSetProtocol", record));
  return withSession(false, [&](HostSession& s) { return s.protocols().set(record); });
}
COHORTIX_HOST_API bool ktGetProtocolCondition(int condition, ConditionRecord* record) {
  noteCall(callText("ktGetProtocolCondition", condition, record));
  return withSession(false, [&](HostSession& s) { return s.protocols().getCondition(condition, record); });
}
COHORTIX_HOST_API bool ktAddProtocolCondition(ConditionRecord* record) {
  noteCall(callText("ktAddProtocolCondition", record));
  return withSession(false, [&](HostSession& s) { return s.protocols().addCondition(record); });
}
COHORTIX_HOST_API bool ktAddProtocolConditionInterval(int condition, int first, int last) {
  noteCall(callText("ktAddProtocolConditionInterval", condition, first, last));
  return withSession(false, [&](HostSession& s) {
    return s.protocols().addInterval(condition, first, last);
  });
}
COHORTIX_HOST_API bool ktClearDesignMatrix() {
  noteCall(callText("ktClearDesignMatrix"));
  return withSession(false, [](HostSession& s) { return s.designMatrices().clear(); });
}
COHORTIX_HOST_API bool ktAddPredictor(ConditionRecord* record) {
  noteCall(callText("ktAddPredictor", record));
  return withSession(false, [&](HostSession& s) { return s.designMatrices().addPredictor(record); });
}
COHORTIX_HOST_API bool ktSetPredictorValuesFromCondition(ConditionRecord* record, int condition,
                                                         float value) {
  noteCall(callText("ktSetPredictorValuesFromCondition", record, condition, value));
  return withSession(false, [&](HostSession& s) {
    return s.designMatrices().setValuesFromCondition(record, condition, value);
  });
}
COHORTIX_HOST_API bool ktApplyTwoGammaHRFToPredictor(int predictor) {
  noteCall(callText("ktApplyTwoGammaHRFToPredictor", predictor));
  return withSession(false, [&](HostSession& s) { return s.designMatrices().applyTwoGammaHRF(predictor); });
}
COHORTIX_HOST_API float* ktGetPredictor(int predictor) {
  noteCall(callText("ktGetPredictor", predictor));
  return withSession<float*>(nullptr, [&](HostSession& s) { return s.designMatrices().predictor(predictor); });
}
COHORTIX_HOST_API bool ktSaveSingleStudyGLMDesignMatrix(const char* fileName) {
  noteCall(callText("ktSaveSingleStudyGLMDesignMatrix", fileName));
  return withSession(false, [&](HostSession& s) { return s.designMatrices().save(fileName); });
}

// Every exported function has exactly the signature the plug-in binds it with.
#define COHORTIX_CHECK_SIGNATURE(name) \
  static_assert(std::is_same_v<decltype(name), cohortix::host_signature::name>);
#define COHORTIX_NOT_PROVIDED(name)
COHORTIX_HOST_FUNCTIONS(COHORTIX_CHECK_SIGNATURE, COHORTIX_NOT_PROVIDED)
