#pragma once
// A subject's ground truth is what the plug-in drew for it: its components
// (host/session/subject_components.h), as the plug-in reported them, as a replay
// of its draws recorded them, or as the truth files give them back.

#include "host/session/subject_components.h"

namespace cohortix::host::truth {

using SubjectTruth = SubjectComponents;
using RegionTruth = RegionComponents;
using host::CellEffect;

}  // namespace cohortix::host::truth
