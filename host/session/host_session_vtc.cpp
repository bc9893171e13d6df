// The VTC of the current VMR, as the plug-in reaches it through the ktXxxVTC
// functions.

#include <cstring>
#include <new>

#include "host/session/host_session.h"
#include "host/io/plain_file_name.h"
#include "host/export/study_exports.h"
#include "host/formats/vtc_format.h"

namespace cohortix::host {

bool HostSession::createVTC(int nrOfVolumes, const VTCHeader* header) {
  constexpr const char* kCall = "ktCreateVTCForCurrentVMR";
  vtc_.reset();
  if (!recordCameBack(kCall, header, kVTCHeaderHostRegion, "VTC header", true)) return false;
  std::string refusal;
  vtc_ = VTCDocument::create(nrOfVolumes, *header, &refusal);
  if (vtc_ == nullptr) return refuse(std::string(kCall) + ": cannot create the VTC: " + refusal);
  return true;
}

bool HostSession::getVTCHeader(VTCHeader* header) {
  if (header == nullptr) return refuse("ktGetHeaderOfVTCOfCurrentVMR: no VTC header given");
  if (vtc_ == nullptr) return refuse("ktGetHeaderOfVTCOfCurrentVMR: the current VMR has no VTC");
  std::memcpy(header, &vtc_->header(), kVTCHeaderDocumentedSize);
  fillHostPattern(header, kVTCHeaderHostRegion);
  return true;
}

float* HostSession::vtcData() {
  if (vtc_ == nullptr || options_.faultInjectionNullVTCData) return nullptr;
  return vtc_->data();
}

// The data are copied for a writer thread and the call returns at once: the plug-in
// simulates the next subject while this one is written. A failed write is reported
// at the next save or when the session finishes.
bool HostSession::saveVTC(const char* fileName) {
  constexpr const char* kCall = "ktSaveVTCOfCurrentVMR";
  collectBackgroundWrite();
  const std::string name = fileName == nullptr ? "(no name)" : fileName;
  if (vtc_ == nullptr) {
    noteWritten(name, false);
    return refuse(std::string(kCall) + ": the current VMR has no VTC to save");
  }
  if (!checkedOutputName(kCall, fileName)) {
    noteWritten(name, false);
    return false;
  }
  try {
    writer_.start(resolveOutputName(options_.outputDir, name), name,
                  formatVTCFileHeader(vtc_->header(), vtc_->dims(), options_.repetitionTime),
                  vtc_->data(), vtc_->valueCount());
  } catch (const std::bad_alloc&) {
    noteWritten(name, false);
    return refuse("cannot write " + name + ": not enough memory to stage its data");
  }
  progress_.noteSubjectFinished();
  // The subject's files are complete: its protocol and design matrix are current,
  // and the VTC's data stay as they are until this call returns.
  exportSaved(fileName, [this, fileName](StudyExports& exports) {
    exports.vtcSaved(fileName, *vtc_, protocol_, designMatrix_);
  });
  return true;
}

}  // namespace cohortix::host
