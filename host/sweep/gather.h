#pragma once
// One table for a whole sweep: every finished design's result beside its varied
// values, in design order. A power analysis contributes its power table's rows,
// its columns carried over as they are; any other command its run summary
// (exit status, subjects, files, bytes, seconds).

#include <filesystem>
#include <string>
#include <vector>

#include "host/io/status.h"
#include "host/sweep/sweep_plan.h"

namespace cohortix::host::sweep {

struct GatheredTable {
  std::string text;                  // TSV
  std::vector<std::string> failed;   // ids of designs that failed
  std::vector<std::string> missing;  // ids of designs not run yet (or interrupted)
  std::vector<std::string> broken;   // with skipBroken: why each skipped design was left out
};

// A design's power table that is not whole (a row of other columns than its
// header's, a last line cut short) refuses the gathering, the file and line named;
// with `skipBroken` the design is left out and said in `broken`.
Result<GatheredTable> gatherResults(const std::filesystem::path& folder, const Plan& plan,
                                    bool skipBroken = false);

}  // namespace cohortix::host::sweep
