#pragma once
// The names of a subject's output files: subject prefix "S%i_", group prefix "G%i_",
// ExperimentName and the extension, joined with nothing between them, and the
// limits every such name must keep.

#include <cstddef>
#include <cstdint>
#include <string>

#include "control/simulation_design.h"

namespace cohortix {

inline constexpr char kProtocolExtension[] = ".prt";
inline constexpr char kDesignMatrixExtension[] = ".rtc";
inline constexpr char kVolumeTimeCourseExtension[] = ".vtc";

// The longest suffix a host adds to an output name for the temporary file it
// writes before renaming it into place (".tmp.XXXXXX" and the like).
inline constexpr std::size_t kMaxTemporarySuffixBytes = 16;
// The longest single name the file systems we write to accept (Linux: 255 bytes).
inline constexpr std::size_t kMaxFileNameBytes = 255;
// The longest output name: it must fit the protocol's FileName field, and with the
// temporary suffix still be one name the file system takes.
std::size_t maxOutputNameBytes();

std::string subjectPrefix(int32_t subjectNumber);
std::string groupPrefix(int32_t groupNumber);

// The name of subject s of group g (0-based indices) with the given extension.
std::string outputFileName(const SimulationDesign& design, int32_t g, int32_t s,
                           const char* extension);

// The longest name a run of this design writes: that of its last subject, whose
// numbers have the most digits, with the longest extension. Empty when the design
// has no subject.
std::string longestOutputName(const SimulationDesign& design);

// Why text cannot serve as the experiment name on Linux and Windows alike, or
// nullptr when it can: it becomes part of every output file's name.
const char* experimentNameProblem(const char* name);

}  // namespace cohortix
