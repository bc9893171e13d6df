#include "host/session/host_session.h"

#include "abi/host_functions.h"

#include <cstring>
#include <ostream>

#include "host/io/disk_interface.h"
#include "host/documents/two_gamma_hrf.h"

namespace cohortix::host {
namespace {
HostSession* gCurrentSession = nullptr;
}

HostSession* currentHostSession() { return gCurrentSession; }
void setCurrentHostSession(HostSession* session) { gCurrentSession = session; }

HostSession::HostSession(SessionOptions options, std::ostream& log, std::ostream& messages)
    : options_(std::move(options)),
      log_(log),
      messages_(messages),
      ownDisk_(std::make_unique<RealDiskInterface>()),
      disk_(*ownDisk_),
      hrfKernel_(twoGammaKernel(options_.repetitionTime)),
      progress_(messages, options_.showProgress, options_.nrOfSubjects),
      writer_(disk_) {}

HostSession::HostSession(SessionOptions options, std::ostream& log, std::ostream& messages,
                         DiskInterface& disk)
    : options_(std::move(options)),
      log_(log),
      messages_(messages),
      disk_(disk),
      hrfKernel_(twoGammaKernel(options_.repetitionTime)),
      progress_(messages, options_.showProgress, options_.nrOfSubjects),
      writer_(disk_) {}

HostSession::~HostSession() = default;

void HostSession::noteCall(const std::string& call) {
  if (options_.recordCalls) calls_.push_back(call);
}

void HostSession::report(const std::string& text) {
  hostMessages_.push_back(text);
  progress_.clear();
  messages_ << "cohortix: " << text << '\n' << std::flush;
  progress_.redraw();
}

bool HostSession::refuse(const std::string& text) {
  report(text);
  return false;
}

void HostSession::showLogTab() {}

void HostSession::logText(const char* text) {
  if (text == nullptr) return report("ktLogText: no text given");
  if (options_.quiet) return;
  progress_.clear();
  log_ << text << '\n' << std::flush;
  progress_.noteLogLine(text);
  progress_.redraw();
}

void HostSession::messageBox(const char* text) {
  if (text == nullptr) return report("ktMessageBox: no text given");
  messagesShown_.emplace_back(text);
  progress_.clear();
  messages_ << text << '\n' << std::flush;
  progress_.redraw();
}

int HostSession::openFileName(const char*, const char*, char* path) {
  if (path == nullptr) {
    refuse("ktGetOpenFileName: no path buffer given");
    return 0;
  }
  const std::string chosen = options_.controlFile.string();
  if (chosen.empty() || chosen.size() >= static_cast<std::size_t>(kFileNameBufferSize))
    return 0;
  std::memcpy(path, chosen.c_str(), chosen.size() + 1);
  return 1;
}

void* HostSession::currentVMR(int* dim1, int* dim2, int* dim3) {
  if (dim1 == nullptr || dim2 == nullptr || dim3 == nullptr) {
    refuse("ktGetCurrentVMR: no place given for the three dimensions");
    return nullptr;
  }
  if (!options_.hasVMR) return nullptr;
  *dim1 = options_.vmrDims[0];
  *dim2 = options_.vmrDims[1];
  *dim3 = options_.vmrDims[2];
  return &vmr_;
}

void HostSession::showBusyCursor() {
  busy_ = true;
  progress_.setBusy(true);
}

void HostSession::stopBusyCursor() {
  busy_ = false;
  progress_.setBusy(false);
}
void HostSession::updateActiveWindow() {}

}  // namespace cohortix::host
