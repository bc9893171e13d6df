#include "host/session/general_services.h"

#include <cstring>

#include "abi/host_functions.h"
#include "host/session/host_reporter.h"
#include "host/session/progress.h"

namespace cohortix::host {

void GeneralServices::logText(const char* text) { context_.reporter.logLine(text); }

void GeneralServices::messageBox(const char* text) { context_.reporter.messageBox(text); }

int GeneralServices::openFileName(const char*, const char*, char* path) {
  if (path == nullptr) {
    context_.reporter.refuse("ktGetOpenFileName: no path buffer given");
    return 0;
  }
  const std::filesystem::path& answer = context_.options.pluginControlFile.empty()
                                            ? context_.options.controlFile
                                            : context_.options.pluginControlFile;
  const std::string chosen = answer.string();
  if (chosen.empty() || chosen.size() >= static_cast<std::size_t>(kFileNameBufferSize)) return 0;
  std::memcpy(path, chosen.c_str(), chosen.size() + 1);
  return 1;
}

void* GeneralServices::currentVMR(int* dim1, int* dim2, int* dim3) {
  if (dim1 == nullptr || dim2 == nullptr || dim3 == nullptr) {
    context_.reporter.refuse("ktGetCurrentVMR: no place given for the three dimensions");
    return nullptr;
  }
  const SessionOptions& options = context_.options;
  if (!options.hasVMR) return nullptr;
  *dim1 = options.vmrDims[0];
  *dim2 = options.vmrDims[1];
  *dim3 = options.vmrDims[2];
  return &vmr_;
}

void GeneralServices::setBusy(bool busy) {
  busy_ = busy;
  progress_.setBusy(busy);
}

}  // namespace cohortix::host
