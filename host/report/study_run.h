#pragma once
// A run's output folder as the report reads it: the control file that describes
// the study, and every subject whose protocol, design matrix and data are all
// there. Two layouts: the native files of `cohortix run` (S1_G1_Study.prt, .rtc,
// .vtc; the control file comes from the caller) and a BIDS dataset (the control
// file under code/, events, bold volumes and, under derivatives/cohortix, the
// design matrices).

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "control/simulation_design.h"
#include "host/io/status.h"

namespace cohortix::host {

class DiskInterface;

enum class RunLayout { Native, Bids };

struct SubjectFiles {
  int32_t g = 0;              // group index, 0-based
  int32_t s = 0;              // subject index within the group, 0-based
  int32_t subjectNumber = 0;  // as in S4_G2_Study
  int32_t groupNumber = 0;
  std::string name;           // "S4_G2_Study" or "sub-04"
  std::filesystem::path protocol;  // .prt, or the events table
  std::filesystem::path design;    // .rtc, or the design table
  std::filesystem::path data;      // .vtc, or the bold volume
};

struct StudyRun {
  RunLayout layout = RunLayout::Native;
  std::filesystem::path root;
  std::filesystem::path controlFile;
  std::string controlText;
  std::unique_ptr<SimulationDesign> design;
  std::vector<SubjectFiles> subjects;         // complete subjects, in subject order
  std::vector<std::string> incompleteSubjects;  // names of subjects with files missing
  // Subjects left out because their files could not be read: "sub-03: why".
  std::vector<std::string> damagedSubjects;
};

// Reads the control file (controlFile, or for a BIDS dataset the one under code/
// when controlFile is empty) and finds the subjects. Fails, naming what is wrong,
// when the folder holds no subject of the study or the control file is refused.
Result<StudyRun> openStudyRun(const std::filesystem::path& root,
                              const std::filesystem::path& controlFile, DiskInterface& disk);

}  // namespace cohortix::host
