#pragma once
// A block of a power analysis's replicates: the K-th of B blocks of about equal
// size, so that B processes (the tasks of a Slurm job array) make and score the
// replicates between them and their scores combine into one table. Replicate r is
// the same wherever it is made (replicate_stream.h): a block only chooses which.

#include <cstdint>
#include <string>

#include "host/io/status.h"

namespace cohortix::host {

struct ReplicateBlock {
  int32_t index = 1;  // 1 .. count
  int32_t count = 1;
};

// Replicates first .. first + count - 1.
struct ReplicateRange {
  int32_t first = 0;
  int32_t count = 0;
};

// Block K of B over R replicates: floor((K - 1) R / B) up to floor(K R / B), so
// the blocks cover the replicates in order, each once, and differ in size by one
// at most.
ReplicateRange replicateRangeOf(ReplicateBlock block, int32_t replicates);

// "K/B", 1 <= K <= B; the message says what is wrong.
Result<ReplicateBlock> parseReplicateBlock(const std::string& text);

std::string replicateBlockText(ReplicateBlock block);

}  // namespace cohortix::host
