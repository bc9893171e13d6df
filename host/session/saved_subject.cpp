#include "host/session/saved_subject.h"

namespace cohortix::host {

uint64_t SubjectOutcomes::bytesWritten() const {
  uint64_t bytes = 0;
  for (const Outcome& outcome : outcomes_) bytes += outcome.bytes;
  return bytes;
}

Status builtFromUnsavedProtocol(const std::string& protocolName) {
  return Status::error("it is built from the protocol " + protocolName +
                       ", which could not be saved (a file under that name would not be its protocol)");
}

}  // namespace cohortix::host
