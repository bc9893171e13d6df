#pragma once
// A block's part of a power analysis (power-part.json): what the block's process
// was asked, which replicates it made, its rows without their estimates, and every
// replicate's scores as counts. The parts of blocks 1 to B combine into the table
// one process makes of all the replicates, byte for byte: their counts are tallied
// in replicate order, exactly as that process tallies them, and formatted once.

#include <cstdint>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "host/io/disk_interface.h"
#include "host/io/json_input.h"
#include "host/io/status.h"
#include "host/power/power_row.h"
#include "host/power/replicate_block.h"
#include "host/power/replicate_scores.h"

namespace cohortix::host {

inline constexpr char kPowerPartName[] = "power-part.json";

struct PowerPart {
  // What every block of one analysis must share, name and value: the builds, the
  // checksums of the study and the noise profile, every option that shapes the
  // table.
  std::vector<std::pair<std::string, std::string>> identity;
  int32_t replicates = 0;  // of the whole analysis
  ReplicateBlock block;
  // The block's rows: the labels, true effects and analytic values (the estimates
  // are the combination's).
  std::vector<PowerRow> rows;
  // Per sample size, in the order of the rows, every replicate of the block's
  // scores in replicate order.
  std::vector<std::vector<ReplicateScores>> scores;
  std::string source;  // the file it was read from, for messages
};

std::string powerPartText(const PowerPart& part);

// The part a JSON value holds, or why it holds none; `source` names it in messages.
Result<PowerPart> powerPartOf(const JsonValue& json, const std::string& source);

// The part in the file, or why it is none: "cannot read FILE: ..." for a file that
// is missing, cut short, not a part, or a part whose counts do not fit together.
Result<PowerPart> readPowerPart(const std::filesystem::path& path, DiskInterface& disk);

// The rows of the whole analysis from the parts of blocks 1 to B, in that order:
// refused, naming the part, when a part is of another analysis (the first
// difference named), of another block or number of blocks, or holds other rows or
// counts than its block should.
Result<std::vector<PowerRow>> combinePowerParts(const std::vector<PowerPart>& parts);

}  // namespace cohortix::host
