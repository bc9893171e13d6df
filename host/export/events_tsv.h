#pragma once
// A subject's trials as an events table: onset and duration in seconds and the
// trial's condition, one row per trial, in time order. Rest needs no row: it is
// whatever no trial covers.

#include <filesystem>
#include <string>
#include <vector>

#include "host/io/status.h"
#include "host/documents/protocol_document.h"

namespace cohortix::host {

class DiskInterface;

struct TrialEvent {
  double onset = 0;     // seconds from the run's first volume
  double duration = 0;  // seconds
  std::string trialType;
};

// The interval's event: onset (first - 1) x TR, duration (last - first + 1) x TR.
TrialEvent trialEventOf(const ProtocolInterval& interval, double repetitionTime,
                        const std::string& condition);

// The events of every trial condition of the protocol: the conditions from
// firstTrialCondition on ("Baseline", when the run has rest, comes before them).
std::vector<TrialEvent> trialEventsOf(const ProtocolDocument& protocol,
                                      int32_t firstTrialCondition, double repetitionTime);

// The table's text: header "onset duration trial_type", rows sorted by onset.
std::string eventsTable(std::vector<TrialEvent> events);

Status writeEventsTsv(DiskInterface& disk, const std::filesystem::path& file,
                    const std::vector<TrialEvent>& events);

}  // namespace cohortix::host
