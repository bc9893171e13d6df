#pragma once
// The study with n x R subjects per group as a control file the plug-in reads:
// every group holding R samples of n subjects, the samples following one another
// in the plug-in's run (sample k of a group: its subjects k n + 1 .. (k + 1) n).
// With effects given per subject, subject i of every sample takes the row of the
// file's subject i (cycling when n exceeds the file's subjects per group). A power
// analysis reads it with R = 1: the study of one replicate of n subjects per group
// (replicate_subjects.h makes the replicates themselves).

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
