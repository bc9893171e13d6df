#pragma once
// Expands a sweep into its designs, every combination of the varied values with
// the last varied item changing fastest, and writes the plan folder: one control
// file per design (designs/ID.cxd), read back through the control file reader,
// and the manifest that says what each design varies and which command it runs.

#include <filesystem>
#include <string>
#include <vector>

#include "host/io/disk_interface.h"
#include "host/io/status.h"
#include "host/sweep/control_edit.h"
#include "host/sweep/sweep_file.h"

namespace cohortix::host::sweep {

struct PlannedDesign {
  std::string id;                   // "d001": sorts as the designs are numbered
  std::vector<std::string> values;  // one per varied item or option, as shown
  // The command line, run in the plan folder; its first word is "cohortix", for
  // whichever cohortix executable runs the design.
  std::vector<std::string> command;
};

struct Plan {
  std::vector<std::string> varied;  // names of the varied items and options
  std::vector<PlannedDesign> designs;
};

// Designs of a sweep, with each one's control file.
struct ExpandedSweep {
  Plan plan;
  std::vector<EditedText> controls;
};

// The most designs one sweep may hold.
inline constexpr std::size_t kMaxDesigns = 1000000;

Result<ExpandedSweep> expandSweep(const SweepDefinition& definition);

// What plan wrote, for the user.
struct PlanResult {
  Plan plan;
  bool unchanged = false;  // the folder already held this very plan, with its results
};

// Writes the plan into folder: missing, empty or holding a plan not yet run (which
// is replaced), or holding this same plan with results (which stays as it is).
// A design the reader refuses stops the plan with the reader's "file:line"
// message; no manifest is written then.
Result<PlanResult> writePlan(const SweepDefinition& definition, const std::filesystem::path& folder,
                             DiskInterface& disk);

// Names inside a plan folder.
std::filesystem::path manifestPath(const std::filesystem::path& folder);
std::filesystem::path designFile(const std::string& id);  // relative to the folder
std::filesystem::path jobFolder(const std::string& id);   // relative to the folder

}  // namespace cohortix::host::sweep
