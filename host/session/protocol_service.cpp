#include "host/session/protocol_service.h"

#include "host/formats/prt_format.h"
#include "host/session/host_reporter.h"
#include "host/session/output_files.h"
#include "host/session/output_path.h"
#include "host/session/record_pattern.h"
#include "host/session/record_text.h"

namespace cohortix::host {

Result<const ProtocolCondition*> ProtocolService::condition(const char* call, int index) const {
  const auto count = static_cast<int>(current().conditions.size());
  if (index >= 0 && index < count) return &current().conditions[static_cast<std::size_t>(index)];
  return Status::error(std::string(call) + ": there is no condition " + std::to_string(index) +
                       " (the protocol has " + std::to_string(count) + " conditions)");
}

bool ProtocolService::clear() {
  protocol() = ProtocolDocument{};
  return true;
}

bool ProtocolService::get(ProtocolRecord* record) {
  if (record == nullptr) return context_.reporter.refuse("ktGetProtocol: no protocol record given");
  record->NrOfConditions = static_cast<int32_t>(current().conditions.size());
  writeRecordText(record->FileName, current().fileName);
  writeRecordText(record->ExperimentName, current().experimentName);
  record->TimeResolution = current().timeResolution;
  fillHostPattern(record, kProtocolHostRegion);
  return true;
}

bool ProtocolService::set(const ProtocolRecord* record) {
  // The header record always comes from ktGetProtocol, so the pattern must be there.
  if (const Status back = checkRecordCameBack("ktSetProtocol", record, kProtocolHostRegion,
                                              "protocol record", false);
      !back)
    return context_.reporter.refuse(back);
  protocol().fileName = readRecordText(record->FileName);
  protocol().experimentName = readRecordText(record->ExperimentName);
  protocol().timeResolution = record->TimeResolution;
  return true;
}

bool ProtocolService::addCondition(const ConditionRecord* record) {
  if (const Status back = checkRecordCameBack("ktAddProtocolCondition", record, kConditionHostRegion,
                                              "condition record", true);
      !back)
    return context_.reporter.refuse(back);
  protocol().conditions.push_back({readRecordText(record->ConditionName), record->Color, {}});
  return true;
}

bool ProtocolService::addInterval(int condition, int first, int last) {
  const Result<const ProtocolCondition*> found = this->condition("ktAddProtocolConditionInterval", condition);
  if (!found) return context_.reporter.refuse(found.status());
  protocol().conditions[static_cast<std::size_t>(condition)].intervals.push_back({first, last});
  return true;
}

bool ProtocolService::getCondition(int condition, ConditionRecord* record) {
  const Result<const ProtocolCondition*> found = this->condition("ktGetProtocolCondition", condition);
  if (!found) return context_.reporter.refuse(found.status());
  if (record == nullptr) return context_.reporter.refuse("ktGetProtocolCondition: no condition record given");
  writeRecordText(record->ConditionName, found.value()->name);
  record->Color = found.value()->color;
  fillHostPattern(record, kConditionHostRegion);
  return true;
}

// The protocol is kept whether or not its file could be written: the plug-in loads
// it back next and must get what it built. The output path learns whether it
// reached disk, so no file built from it goes out beside a stranger under its name.
bool ProtocolService::save(const char* fileName) {
  constexpr const char* kCall = "ktSaveProtocol";
  if (const Status name = OutputFiles::checkName(kCall, fileName); !name) {
    context_.files.noteNotWritten(fileName == nullptr ? "(no name)" : fileName, name);
    return false;
  }
  savedName_ = fileName;
  saved_ = current();
  const Result<SelectedFile> target = context_.output.selected(fileName);
  if (!target) {
    context_.files.noteNotWritten(fileName, target.status().context("cannot write " + std::string(fileName)));
    context_.output.protocolSaved(fileName, current(), false);
    return false;
  }
  if (!target.value().kept) return true;  // a subject the run skips: nothing is written
  // A kept subject's protocol names the file it is written to.
  const std::string& name = target.value().name;
  ProtocolDocument asWritten = current();
  if (asWritten.fileName == fileName) asWritten.fileName = name;
  const std::string text = formatProtocol(asWritten);
  const std::string_view parts[] = {text};
  const bool written = context_.files.write(kCall, name.c_str(), parts);
  context_.output.protocolSaved(name, asWritten, written);
  return written;
}

bool ProtocolService::load(const char* fileName) {
  constexpr const char* kCall = "ktLoadProtocol";
  if (const Status name = OutputFiles::checkName(kCall, fileName); !name)
    return context_.reporter.refuse(name);
  if (!saved_ || savedName_ != fileName)
    return context_.reporter.refuse(std::string(kCall) + ": " + fileName +
                                    " is not the protocol the run saved last, the only one the "
                                    "host loads back");
  protocol() = *saved_;
  return true;
}

}  // namespace cohortix::host
