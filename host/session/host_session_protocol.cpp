// The host's stimulation protocol, as the plug-in reaches it through the
// ktXxxProtocol functions.

#include "host/session/host_session.h"
#include "host/export/study_exports.h"
#include "host/formats/prt_format.h"
#include "host/session/record_text.h"

namespace cohortix::host {

bool HostSession::conditionExists(const char* call, int condition) {
  const auto count = static_cast<int>(protocol_.conditions.size());
  if (condition >= 0 && condition < count) return true;
  return refuse(std::string(call) + ": there is no condition " + std::to_string(condition) +
                " (the protocol has " + std::to_string(count) + " conditions)");
}

bool HostSession::recordCameBack(const char* call, const void* record, HostRegion region,
                                 const char* what, bool mayBeFresh) {
  if (record == nullptr) return refuse(std::string(call) + ": no " + what + " given");
  std::size_t changed = 0;
  const HostBytes bytes = examineHostBytes(record, region, &changed);
  if (bytes == HostBytes::Pattern || (bytes == HostBytes::Zero && mayBeFresh)) return true;
  if (bytes == HostBytes::Zero) changed = region.begin;
  return refuse(std::string(call) + ": the host's bytes " + std::to_string(region.begin) + " to " +
                std::to_string(region.end - 1) + " of the " + what +
                " did not come back as the host handed them out (first difference at byte " +
                std::to_string(changed) + ")");
}

bool HostSession::clearProtocol() {
  protocol_ = ProtocolDocument{};
  return true;
}

bool HostSession::getProtocol(ProtocolRecord* record) {
  if (record == nullptr) return refuse("ktGetProtocol: no protocol record given");
  record->NrOfConditions = static_cast<int32_t>(protocol_.conditions.size());
  writeRecordText(record->FileName, protocol_.fileName);
  writeRecordText(record->ExperimentName, protocol_.experimentName);
  record->TimeResolution = protocol_.timeResolution;
  fillHostPattern(record, kProtocolHostRegion);
  return true;
}

bool HostSession::setProtocol(const ProtocolRecord* record) {
  // The header record always comes from ktGetProtocol, so the pattern must be there.
  if (!recordCameBack("ktSetProtocol", record, kProtocolHostRegion, "protocol record", false))
    return false;
  protocol_.fileName = readRecordText(record->FileName);
  protocol_.experimentName = readRecordText(record->ExperimentName);
  protocol_.timeResolution = record->TimeResolution;
  return true;
}

bool HostSession::addProtocolCondition(const ConditionRecord* record) {
  if (!recordCameBack("ktAddProtocolCondition", record, kConditionHostRegion, "condition record", true))
    return false;
  protocol_.conditions.push_back({readRecordText(record->ConditionName), record->Color, {}});
  return true;
}

bool HostSession::addProtocolConditionInterval(int condition, int first, int last) {
  if (!conditionExists("ktAddProtocolConditionInterval", condition)) return false;
  protocol_.conditions[static_cast<std::size_t>(condition)].intervals.push_back({first, last});
  return true;
}

bool HostSession::getProtocolCondition(int condition, ConditionRecord* record) {
  if (!conditionExists("ktGetProtocolCondition", condition)) return false;
  if (record == nullptr) return refuse("ktGetProtocolCondition: no condition record given");
  const ProtocolCondition& source = protocol_.conditions[static_cast<std::size_t>(condition)];
  writeRecordText(record->ConditionName, source.name);
  record->Color = source.color;
  fillHostPattern(record, kConditionHostRegion);
  return true;
}

bool HostSession::saveProtocol(const char* fileName) {
  const std::string text = formatProtocol(protocol_);
  const std::string_view parts[] = {text};
  if (!writeOutput("ktSaveProtocol", fileName, parts)) return false;
  exportSaved(fileName, [this, fileName](StudyExports& exports) {
    exports.protocolSaved(fileName, protocol_);
  });
  return true;
}

bool HostSession::loadProtocol(const char* fileName) {
  std::string text;
  if (!checkedOutputName("ktLoadProtocol", fileName) || !readInput(fileName, &text)) return false;
  Result<ProtocolDocument> parsed = parseProtocol(text, fileName);
  if (!parsed) return refuse(parsed.status().message());
  protocol_ = std::move(parsed).value();
  return true;
}

}  // namespace cohortix::host
