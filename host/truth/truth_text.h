#pragma once
// The truth as text: a subject's truth JSON, the study's truth table and the
// sidecars that say what each truth image holds.

#include <array>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "control/vtc_geometry.h"
#include "host/truth/subject_truth.h"

namespace cohortix::host::truth {

// The host's own noise added after the plug-in, when the run had any: filled by
// the run that adds it, absent otherwise.
struct TruthNoise {
  std::string profile;
  uint64_t seed = 0;
  int32_t replicate = 0;
};

// A region's jittered centre in Talairach millimetres.
std::array<double, 3> centreMillimetres(const TalairachAffine& affine, const VoxelIndex& centre);

// Where a point lies in the run's anatomy, as one JSON object (atlas labels and
// tissue); empty when the run has no anatomy. `ownAnatomy`: the subject's own
// anatomy's affine as one JSON object, when each subject has its own.
using PlaceOf = std::function<std::string(const std::array<double, 3>& talairach)>;

std::string subjectTruthJson(const SubjectTruth& truth, const std::string& experiment,
                             const TalairachAffine& affine,
                             const std::optional<TruthNoise>& noise,
                             const PlaceOf& placeOf = {},
                             const std::string& ownAnatomy = "");

// The table's header line, then one line per region and cell of the subject.
std::string truthTableHeader();
std::string truthTableRows(const SubjectTruth& truth, const TalairachAffine& affine);

// The sidecar of an image: what it holds, its units, and the names of its volumes
// (none for a 3-D image).
std::string imageSidecarJson(const std::string& description, const std::string& units,
                             const std::vector<std::string>& volumes);

// The lookup table of a region label map: 0 none, r + 1 region r.
std::string labelTableTsv(std::size_t regions);

}  // namespace cohortix::host::truth
