#pragma once
// The manifest of a plan, manifest.tsv: one row per design with its id, the
// varied values and the command line it runs, shell-quoted so it can be pasted
// into a shell in the plan folder.

#include <filesystem>
#include <string>
#include <vector>

#include "host/io/status.h"
#include "host/sweep/sweep_plan.h"

namespace cohortix::host::sweep {

std::string manifestText(const Plan& plan);
Result<Plan> parseManifest(const std::string& text, const std::string& name);
Result<Plan> readManifest(const std::filesystem::path& folder);

// The design of the plan by id ("d007") or number ("7", 1-based); null when none.
const PlannedDesign* findDesign(const Plan& plan, const std::string& idOrNumber);

// A word as a POSIX shell reads it back: bare when safe, else in single quotes.
std::string shellQuoted(const std::string& word);
// The inverse for words written by shellQuoted, joined by single blanks.
Result<std::vector<std::string>> shellWords(const std::string& line);

}  // namespace cohortix::host::sweep
