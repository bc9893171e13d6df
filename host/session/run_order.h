#pragma once
// The study's subjects in the order a run saves them, from the control file as the
// host read it for itself: what the host expects each "subject saved" to be.

#include <cstdint>
#include <vector>

#include "control/simulation_design.h"
#include "host/session/saved_subject.h"

namespace cohortix::host {

struct RunSubject {
  int32_t groupNumber = 0;
  int32_t subjectNumber = 0;
  SubjectFileNames files;
};

// Group by group, subject by subject; `design` has its derived counts.
std::vector<RunSubject> runOrderOf(const SimulationDesign& design);

// The subject the plug-in's names make of the k-th saved subject (0-based), when
// the host knows the study: its numbers when the names are those of the study's
// k-th subject; otherwise none, and why.
void identify(SavedSubject& subject, const std::vector<RunSubject>& runOrder, std::size_t k);

}  // namespace cohortix::host
