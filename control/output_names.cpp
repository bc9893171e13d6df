#include "control/output_names.h"

#include <algorithm>
#include <cstring>

#include "control/cell_index.h"
#include "control/derived_counts.h"
#include "abi/host_records.h"

namespace cohortix {

std::size_t maxOutputNameBytes() {
  return std::min<std::size_t>(kMaxProtocolFileNameLength,
                               kMaxFileNameBytes - kMaxTemporarySuffixBytes);
}

std::string subjectPrefix(int32_t subjectNumber) {
  return "S" + std::to_string(subjectNumber) + "_";
}

std::string groupPrefix(int32_t groupNumber) { return "G" + std::to_string(groupNumber) + "_"; }

std::string outputFileName(const SimulationDesign& design, int32_t g, int32_t s,
                           const char* extension) {
  return subjectPrefix(subjectNumber(design, g, s)) + groupPrefix(groupNumber(g)) +
         design.ExperimentName + extension;
}

std::string longestOutputName(const SimulationDesign& design) {
  const WideCounts counts = wideDerivedCounts(design);
  if (counts.NrOfGroups <= 0 || design.NrOfSubjectsPerGroup <= 0) return {};
  const auto lastGroup = static_cast<int32_t>(counts.NrOfGroups - 1);
  return outputFileName(design, lastGroup, design.NrOfSubjectsPerGroup - 1,
                        kProtocolExtension);
}

const char* experimentNameProblem(const char* name) {
  if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0)
    return "is \".\" or \"..\"";
  for (const char* c = name; *c != '\0'; ++c) {
    const auto byte = static_cast<unsigned char>(*c);
    if (byte < 0x20 || byte == 0x7f) return "contains a control character";
    if (std::strchr("/\\:*?\"<>|", *c) != nullptr) return "contains one of / \\ : * ? \" < > |";
  }
  return nullptr;
}

}  // namespace cohortix
