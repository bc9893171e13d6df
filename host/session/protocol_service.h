#pragma once
// The host's stimulation protocol, as the plug-in reaches it through the
// ktXxxProtocol functions. The protocol the plug-in loads back is the one it saved
// last, kept in memory: never a file that happens to be under that name (an old
// one of another study that could not be replaced, a FIFO, a link), and nothing
// else is loaded.

#include <optional>
#include <string>

#include "abi/host_records.h"
#include "host/io/status.h"
#include "host/session/service_context.h"

namespace cohortix::host {

class ProtocolService {
 public:
  explicit ProtocolService(ServiceContext& context) : context_(context) {}

  const ProtocolDocument& current() const { return context_.documents.protocol; }
  // The condition at index, or the refusal that names the call.
  Result<const ProtocolCondition*> condition(const char* call, int index) const;

  bool clear();
  bool get(ProtocolRecord* record);
  bool set(const ProtocolRecord* record);
  bool addCondition(const ConditionRecord* record);
  bool addInterval(int condition, int first, int last);
  bool getCondition(int condition, ConditionRecord* record);
  bool save(const char* fileName);
  bool load(const char* fileName);

 private:
  ProtocolDocument& protocol() { return context_.documents.protocol; }
  ServiceContext& context_;
  std::string savedName_;
  std::optional<ProtocolDocument> saved_;
};

}  // namespace cohortix::host
