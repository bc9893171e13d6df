#pragma once
// The host's current single-study design matrix: predictors in the order added,
// each named after its condition, each one value per volume.
//
// Length rule: the matrix takes its number of volumes when its first predictor is
// added: the current VTC's number of volumes, or, when no VTC exists, the
// protocol's extent (the last volume any interval reaches). Every later predictor
// of the matrix has the same length; clearing the matrix forgets it.

#include <string>
#include <vector>

#include "host/documents/protocol_document.h"

namespace cohortix::host {

struct Predictor {
  std::string name;
  std::vector<float> values;
  bool operator==(const Predictor&) const = default;
};

struct DesignMatrix {
  int nrOfVolumes = 0;
  std::vector<Predictor> predictors;
  bool operator==(const DesignMatrix&) const = default;
};

// `value` at every volume inside the intervals, 0.0 elsewhere. Volumes are 1-based;
// bounds outside 1..values.size() are clipped, and an interval whose last volume
// lies below its first covers nothing.
void setValuesFromIntervals(std::vector<float>& values,
                            const std::vector<ProtocolInterval>& intervals, float value);

}  // namespace cohortix::host
