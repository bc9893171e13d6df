#pragma once
// The study a power analysis simulates for one sample size: the control file with
// every group holding n x R subjects, so one run of the plug-in makes R replicate
// samples of n subjects per group, each the subjects that follow in the random
// stream (replicate k of a group: its subjects k n + 1 .. (k + 1) n). With effects
// given per subject, subject i of every replicate takes the row of the file's
// subject i (cycling when n exceeds the file's subjects per group).

#include <filesystem>
#include <memory>

#include "control/simulation_design.h"
#include "host/io/status.h"

namespace cohortix::host {

class DiskInterface;

struct ReplicatedStudy {
  std::filesystem::path controlFile;          // the expanded file, in the given folder
  std::unique_ptr<SimulationDesign> design;   // as the plug-in reads it back
  int32_t subjects = 0;                       // n, per group and replicate
  int32_t replicates = 0;                     // R
};

// The design of the file as the plug-in reads it; the reader's message otherwise.
Result<std::unique_ptr<SimulationDesign>> readStudyDesign(const std::filesystem::path& controlFile);

// Writes the expanded control file into folder (which must exist) and reads it
// back. Fails, saying why, when the expansion exceeds what a control file holds
// (effect rows per subject beyond the table's capacity, too many subjects).
Result<ReplicatedStudy> replicateStudy(const std::filesystem::path& controlFile, int32_t subjects,
                                       int32_t replicates, const std::filesystem::path& folder,
                                       DiskInterface& disk);

}  // namespace cohortix::host
