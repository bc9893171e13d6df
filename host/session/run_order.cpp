#include "host/session/run_order.h"

#include "control/cell_index.h"
#include "control/output_names.h"

namespace cohortix::host {
namespace {

std::string listed(const SubjectFileNames& files) {
  const auto named = [](const std::string& name) { return name.empty() ? "(none)" : name; };
  return named(files.protocol) + ", " + named(files.designMatrix) + " and " + named(files.vtc);
}

}  // namespace

std::vector<RunSubject> runOrderOf(const SimulationDesign& design) {
  std::vector<RunSubject> order;
  for (int32_t g = 0; g < design.NrOfGroups; ++g)
    for (int32_t s = 0; s < design.NrOfSubjectsPerGroup; ++s)
      order.push_back({groupNumber(g), subjectNumber(design, g, s),
                       {outputFileName(design, g, s, kProtocolExtension),
                        outputFileName(design, g, s, kDesignMatrixExtension),
                        outputFileName(design, g, s, kVolumeTimeCourseExtension)}});
  return order;
}

void identify(SavedSubject& subject, const std::vector<RunSubject>& runOrder, std::size_t k) {
  if (k >= runOrder.size()) {
    subject.unexpected = "the study has " + std::to_string(runOrder.size()) +
                         " subjects, and the plug-in saved a VTC for one more (" +
                         listed(subject.files) + ")";
    return;
  }
  const RunSubject& expected = runOrder[k];
  if (subject.files != expected.files) {
    subject.unexpected = "the plug-in saved " + listed(subject.files) + " where the study's subject " +
                         std::to_string(expected.subjectNumber) + " has " + listed(expected.files);
    return;
  }
  subject.groupNumber = expected.groupNumber;
  subject.subjectNumber = expected.subjectNumber;
}

}  // namespace cohortix::host
