#include "host/export/events_tsv.h"

#include <algorithm>

#include "host/export/decimal_text.h"
#include "host/export/export_file.h"
#include "host/export/tsv_field.h"

namespace cohortix::host {

TrialEvent trialEventOf(const ProtocolInterval& interval, double repetitionTime,
                        const std::string& condition) {
  const double first = interval.first;
  const double last = interval.last;
  return {(first - 1) * repetitionTime, (last - first + 1) * repetitionTime, condition};
}

std::vector<TrialEvent> trialEventsOf(const ProtocolDocument& protocol,
                                      int32_t firstTrialCondition, double repetitionTime) {
  std::vector<TrialEvent> events;
  const auto& conditions = protocol.conditions;
  for (std::size_t c = std::max<int32_t>(firstTrialCondition, 0); c < conditions.size(); ++c)
    for (const ProtocolInterval& interval : conditions[c].intervals)
      events.push_back(trialEventOf(interval, repetitionTime, conditions[c].name));
  return events;
}

std::string eventsTable(std::vector<TrialEvent> events) {
  std::stable_sort(events.begin(), events.end(),
                   [](const TrialEvent& a, const TrialEvent& b) { return a.onset < b.onset; });
  std::string text = "onset\tduration\ttrial_type\n";
  for (const TrialEvent& event : events)
    text += secondsText(event.onset) + '\t' + secondsText(event.duration) + '\t' +
            tsvField(event.trialType) + '\n';
  return text;
}

Status writeEventsTsv(DiskInterface& disk, const std::filesystem::path& file,
                    const std::vector<TrialEvent>& events) {
  return writeExportText(disk, file, eventsTable(events));
}

}  // namespace cohortix::host
