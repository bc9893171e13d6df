#pragma once
// The host's general services: the log, message boxes, the open-file dialog (which
// answers with the session's control file), the current VMR, the busy cursor.

#include <filesystem>
#include <string>

#include "host/session/service_context.h"

namespace cohortix::host {

// The dialog's answer as the plug-in's path buffer can hold it (kFileNameBufferSize
// bytes with the terminating NUL): the path as chosen, or the same file relative to
// the current folder when only that fits; empty when neither fits.
std::string dialogAnswerFor(const std::filesystem::path& chosen);

class Progress;

class GeneralServices {
 public:
  GeneralServices(ServiceContext& context, Progress& progress)
      : context_(context), progress_(progress) {}

  void logText(const char* text);
  void messageBox(const char* text);
  int openFileName(const char* prompt, const char* filter, char* path);
  void* currentVMR(int* dim1, int* dim2, int* dim3);
  void setBusy(bool busy);
  bool busy() const { return busy_; }

 private:
  ServiceContext& context_;
  Progress& progress_;
  bool busy_ = false;
  char vmr_ = 0;  // stands for the current VMR document: its address is the handle
};

}  // namespace cohortix::host
