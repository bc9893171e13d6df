#pragma once
// A subject's trials as an events table: onset and duration in seconds and the
// trial's condition, one row per trial, in time order. Rest needs no row: it is
// whatever no trial covers.

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace cohortix::host {

// An interval of the protocol: 1-based volume numbers, inclusive at both ends.
struct VolumeInterval {
  int32_t first = 0;
  int32_t last = 0;
};

struct TrialEvent {
  double onset = 0;     // seconds from the run's first volume
  double duration = 0;  // seconds
  std::string trialType;
};

// The interval's event: onset (first - 1) x TR, duration (last - first + 1) x TR.
TrialEvent trialEventOf(const VolumeInterval& interval, double repetitionTime,
                        const std::string& condition);

// The table's text: header "onset duration trial_type", rows sorted by onset.
std::string eventsTable(std::vector<TrialEvent> events);

void writeEventsTsv(const std::filesystem::path& file, const std::vector<TrialEvent>& events);

}  // namespace cohortix::host
