#include "host/export/bids_names.h"

#include <algorithm>

namespace cohortix::host {
namespace {
bool isAsciiAlphanumeric(char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}
}  // namespace

std::string bidsTaskLabel(std::string_view experimentName) {
  std::string label;
  std::copy_if(experimentName.begin(), experimentName.end(), std::back_inserter(label),
               isAsciiAlphanumeric);
  return label.empty() ? "simulation" : label;
}

std::string bidsSubjectLabel(int32_t subjectNumber, int32_t largestSubjectNumber) {
  const std::size_t width = std::to_string(std::max(largestSubjectNumber, 1)).size();
  std::string label = std::to_string(subjectNumber);
  if (label.size() < width) label.insert(0, width - label.size(), '0');
  return label;
}

std::string bidsSubjectId(const std::string& subjectLabel) { return "sub-" + subjectLabel; }

std::string bidsFunctionalStem(const std::string& subjectLabel, const std::string& task) {
  return bidsSubjectId(subjectLabel) + "_task-" + task;
}

}  // namespace cohortix::host
