#pragma once
// The study report: one self-contained HTML page (styles, SVG plots and PNG slices
// inline, nothing fetched) that shows a simulated study for judging by eye: the
// study, its design, its ground truth, its data and, when present, its results.
// The same run gives the same bytes: no time stamps, no random ids, numbers
// printed the same in every locale.

#include <filesystem>
#include <string>
#include <vector>

#include "host/io/status.h"
#include "host/report/report_inputs.h"

namespace cohortix::host {

class DiskInterface;

// The page's text. Subjects' data are read one subject at a time. With
// inputs.skipDamaged, the subjects left out are added to `leftOut` ("sub-03:
// cannot read ...") when given.
Result<std::string> studyReportHtml(const ReportInputs& inputs, DiskInterface& disk,
                                    std::vector<std::string>* leftOut = nullptr);

// Writes the page to output, whole or not at all.
Status writeStudyReport(const ReportInputs& inputs, const std::filesystem::path& output,
                        DiskInterface& disk);
Status writeStudyReport(const ReportInputs& inputs, const std::filesystem::path& output);

}  // namespace cohortix::host
