// The VTC of the current VMR, as the plug-in reaches it through the ktXxxVTC
// functions.

#include <cstring>

#include "host/host_session.h"
#include "host/vtc_format.h"

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

bool HostSession::saveVTC(const char* fileName) {
  if (vtc_ == nullptr) {
    noteWritten(fileName == nullptr ? "(no name)" : fileName, false);
    return refuse("ktSaveVTCOfCurrentVMR: the current VMR has no VTC to save");
  }
  const std::string header =
      formatVTCFileHeader(vtc_->header(), vtc_->dims(), options_.repetitionTime);
  const std::string_view parts[] = {header, vtcDataBytes(vtc_->data(), vtc_->valueCount())};
  return writeOutput("ktSaveVTCOfCurrentVMR", fileName, parts);
}

}  // namespace cohortix::host
