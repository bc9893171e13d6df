#pragma once
// Whether the file systems a command writes to have room for what it is about to
// write, judged before it writes: the outputs on one file system are added up and
// set against the space its user may still take.

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "host/io/status.h"

namespace cohortix::host {

struct PlannedOutput {
  std::filesystem::path folder;  // exists
  std::string what;              // "the output folder", "the BIDS folder"
  uint64_t bytes = 0;            // at least this much will be written there
};

// The first file system short of room, named by the folders that share it, what
// they need and what it has; ok when every one has room or cannot be asked.
Status checkDiskRoom(const std::vector<PlannedOutput>& outputs);

// The refusal for `needed` bytes against `available` on the file system of the
// outputs named; ok when it fits.
Status roomFor(const std::vector<PlannedOutput>& sharing, uint64_t available);

}  // namespace cohortix::host
