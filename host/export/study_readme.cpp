#include "host/export/study_readme.h"

#include <sstream>

#include "host/export/decimal_text.h"

namespace cohortix::host {
namespace {

// Indented four blanks, the summary reads as a preformatted block in Markdown.
std::string indented(const std::string& text) {
  std::istringstream lines(text);
  std::string block;
  for (std::string line; std::getline(lines, line);) block += "    " + line + "\n";
  return block;
}

}  // namespace

std::string studyReadme(const std::string& experimentName, const std::string& controlFileName,
                        double repetitionTime, const std::string& designSummary) {
  return "# " + experimentName + "\n\n" +
         "A simulated group fMRI study with a known ground truth, made by Cohortix from the "
         "control file code/" + controlFileName + ", one volume every " +
         secondsText(repetitionTime) +
         " s.\n\nEach subject's bold series is a simulated volume time course in Talairach "
         "space: a baseline, Gaussian noise, and inside each spherical effect region the "
         "effect-weighted sum of the subject's predictors, each cell's boxcar convolved with "
         "a two-gamma haemodynamic response. The events files list every trial in seconds; "
         "rest is whatever no trial covers. derivatives/cohortix holds each subject's design "
         "matrix, one column per cell and one row per volume.\n\n"
         "The study as the control file describes it:\n\n" +
         indented(designSummary);
}

}  // namespace cohortix::host
