#include "host/events_tsv.h"

#include <algorithm>

#include "host/decimal_text.h"
#include "host/export_file.h"
#include "host/tsv_field.h"

namespace cohortix::host {

TrialEvent trialEventOf(const VolumeInterval& interval, double repetitionTime,
                        const std::string& condition) {
  const double first = interval.first;
  const double last = interval.last;
  return {(first - 1) * repetitionTime, (last - first + 1) * repetitionTime, condition};
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

void writeEventsTsv(const std::filesystem::path& file, const std::vector<TrialEvent>& events) {
  writeExportText(file, eventsTable(events));
}

}  // namespace cohortix::host
