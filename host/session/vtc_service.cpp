#include "host/session/vtc_service.h"

#include <cstring>

#include "host/session/host_reporter.h"
#include "host/session/output_files.h"
#include "host/session/output_path.h"
#include "host/session/record_pattern.h"
#include "host/session/subject_report_recorder.h"

namespace cohortix::host {

bool VTCService::create(int nrOfVolumes, const VTCHeader* header) {
  constexpr const char* kCall = "ktCreateVTCForCurrentVMR";
  std::unique_ptr<VTCDocument>& vtc = context_.documents.vtc;
  vtc.reset();
  if (const Status back = checkRecordCameBack(kCall, header, kVTCHeaderHostRegion, "VTC header", true);
      !back)
    return context_.reporter.refuse(back);
  std::string refusal;
  vtc = VTCDocument::create(nrOfVolumes, *header, &refusal);
  if (vtc == nullptr)
    return context_.reporter.refuse(std::string(kCall) + ": cannot create the VTC: " + refusal);
  return true;
}

bool VTCService::getHeader(VTCHeader* header) {
  constexpr const char* kCall = "ktGetHeaderOfVTCOfCurrentVMR";
  if (header == nullptr) return context_.reporter.refuse(std::string(kCall) + ": no VTC header given");
  if (current() == nullptr) return context_.reporter.refuse(std::string(kCall) + ": the current VMR has no VTC");
  std::memcpy(header, &current()->header(), kVTCHeaderDocumentedSize);
  fillHostPattern(header, kVTCHeaderHostRegion);
  return true;
}

float* VTCService::data() {
  VTCDocument* vtc = context_.documents.vtc.get();
  return vtc != nullptr ? vtc->data() : nullptr;
}

// The call returns once the data are staged: the plug-in simulates the next subject
// while this one goes out. What could not be written is reported at the next save
// or when the session finishes.
bool VTCService::save(const char* fileName) {
  constexpr const char* kCall = "ktSaveVTCOfCurrentVMR";
  const std::string name = fileName == nullptr ? "(no name)" : fileName;
  if (current() == nullptr) {
    context_.files.noteNotWritten(name, Status::error(std::string(kCall) + ": the current VMR has no VTC to save"));
    return false;
  }
  if (const Status checked = OutputFiles::checkName(kCall, fileName); !checked) {
    context_.files.noteNotWritten(name, checked);
    return false;
  }
  const Status staged =
      context_.output.subjectSaved(name, *current(), context_.documents.protocol,
                                   context_.documents.designMatrix, context_.reports.take());
  if (staged) {
    context_.files.noteSimulated(current()->valueCount());
    return true;
  }
  context_.files.noteNotWritten(name, staged.context("cannot write " + name));
  return false;
}

}  // namespace cohortix::host
