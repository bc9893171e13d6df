#pragma once
// The VTC of the current VMR, as the plug-in reaches it through the ktXxxVTC
// functions. Saving it raises "subject saved" on the output path.

#include "abi/host_records.h"
#include "host/session/service_context.h"

namespace cohortix::host {

class VTCService {
 public:
  explicit VTCService(ServiceContext& context) : context_(context) {}
  virtual ~VTCService() = default;

  const VTCDocument* current() const { return context_.documents.vtc.get(); }

  bool create(int nrOfVolumes, const VTCHeader* header);
  bool getHeader(VTCHeader* header);
  // The VTC's own data, which stay where they are for the document's life.
  virtual float* data();
  bool save(const char* fileName);

 private:
  ServiceContext& context_;
};

}  // namespace cohortix::host
