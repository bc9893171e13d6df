#pragma once
// How a BIDS dataset says that the run writing it has not finished: a line at the
// end of its README and a file derivatives/cohortix/cohortix-incomplete, both there
// from the dataset's first file until its last subject is written; and what a run
// that resumes such a dataset reads of it.

#include <filesystem>
#include <set>
#include <string>

#include "host/io/status.h"

namespace cohortix::host {

class DiskInterface;

// derivatives/cohortix/cohortix-incomplete under the dataset's root.
std::filesystem::path unfinishedMarkerOf(const std::filesystem::path& root);

// The marker file's text: what is missing and how to finish it.
std::string unfinishedMarkerText();

// The README of a dataset still being written: the study's README and a last line
// saying so.
std::string unfinishedReadme(const std::string& readme);

bool markedUnfinished(const std::filesystem::path& root);

// The participant ids the dataset's participants.tsv lists (none when it has none).
Result<std::set<std::string>> participantsListed(DiskInterface& disk,
                                                 const std::filesystem::path& root);

}  // namespace cohortix::host
