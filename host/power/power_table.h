#pragma once
// The power table as files and as text: one row per sample size, test, region
// and measure, with the Monte-Carlo estimate, its 95% interval and the analytic
// value beside it ("NA" where none applies).

#include <filesystem>
#include <string>
#include <vector>

#include "host/io/disk_interface.h"
#include "host/io/status.h"
#include "host/power/power_row.h"

namespace cohortix::host {

// Tab-separated, with a header line: what `power.tsv` holds.
std::string powerTableTsv(const std::vector<PowerRow>& rows);

// The same rows as a JSON array of objects (null for NA).
std::string powerTableJson(const std::vector<PowerRow>& rows);

// power.tsv and power.json in `folder` (made when missing), each file whole.
Status writePowerTables(const std::filesystem::path& folder, const std::vector<PowerRow>& rows,
                        DiskInterface& disk);

// Aligned columns for a terminal; estimate and interval as "0.812 [0.75, 0.86]".
std::string powerTableText(const std::vector<PowerRow>& rows);

}  // namespace cohortix::host
