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
  // A run of a replicate hands the plug-in the expanded study in its place.
  const std::filesystem::path& chosen = context_.options.pluginControlFile.empty()
                                            ? context_.options.controlFile
                                            : context_.options.pluginControlFile;
  if (chosen.empty()) return 0;  // cancelled
  const std::string answer = dialogAnswerFor(chosen);
  if (answer.empty()) {
    context_.reporter.refuse("ktGetOpenFileName: the path of " + chosen.filename().string() + " (" +
                             std::to_string(chosen.string().size()) +
                             " bytes) does not fit the plug-in's buffer of " +
                             std::to_string(kFileNameBufferSize) +
                             " bytes, not even relative to the current folder; move the file or "
                             "run from a folder nearer to it");
    return 0;
  }
  std::memcpy(path, answer.c_str(), answer.size() + 1);
  return 1;
}

std::string dialogAnswerFor(const std::filesystem::path& chosen) {
  const auto fits = [](const std::string& text) {
    return !text.empty() && text.size() < static_cast<std::size_t>(kFileNameBufferSize);
  };
  if (fits(chosen.string())) return chosen.string();
  std::error_code error;
  const std::filesystem::path here = std::filesystem::current_path(error);
  if (error) return {};
  const std::string relative = chosen.lexically_proximate(here).string();
  return fits(relative) && !chosen.lexically_proximate(here).is_absolute() ? relative : std::string();
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
