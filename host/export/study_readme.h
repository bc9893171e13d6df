#pragma once
// The README of an exported dataset: what was simulated and how, with the summary
// of the control file's design that `cohortix check` prints.

#include <string>

namespace cohortix::host {

std::string studyReadme(const std::string& experimentName, const std::string& controlFileName,
                        double repetitionTime, const std::string& designSummary);

}  // namespace cohortix::host
