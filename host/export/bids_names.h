#pragma once
// The names a simulated study takes in a BIDS dataset: subject labels, the task
// label, and the file names built from them.

#include <cstdint>
#include <string>
#include <string_view>

namespace cohortix::host {

// The experiment name reduced to ASCII letters and digits; "simulation" when none
// is left, since a task label may not be empty.
std::string bidsTaskLabel(std::string_view experimentName);

// The subject number zero-padded to the width of the largest subject number.
std::string bidsSubjectLabel(int32_t subjectNumber, int32_t largestSubjectNumber);

// "sub-<label>", the subject's folder and the start of its file names.
std::string bidsSubjectId(const std::string& subjectLabel);

// "sub-<label>_task-<task>", the stem of the subject's functional files.
std::string bidsFunctionalStem(const std::string& subjectLabel, const std::string& task);

}  // namespace cohortix::host
