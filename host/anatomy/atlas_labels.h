#pragma once
// Where a point of the anatomy lies: inside the brain or not, its tissue mixture,
// and its labels in the three atlases (AAL with the names mricron-data lists
// beside it, Brodmann areas, the Harvard-Oxford cortical atlas).

#include <array>
#include <string>
#include <vector>

#include "host/anatomy/anatomy.h"
#include "host/anatomy/mni_talairach.h"

namespace cohortix::host::anatomy {

struct AtlasPlace {
  bool inBrain = false;
  std::array<float, 3> tissue{};  // CSF, grey, white
  std::string aal, brodmann, harvardOxford;  // empty: no label there
  // "grey matter", "white matter" or "CSF": the largest share; "outside the brain".
  std::string tissueName() const;
};

class AtlasNames {
 public:
  // The AAL names from the table beside the AAL image (index, name, code per
  // line); the Brodmann and Harvard-Oxford names are fixed.
  static AtlasNames forSources(const AnatomySources& sources);
  AtlasPlace placeOf(const Anatomy& anatomy, const Point& talairach) const;

 private:
  std::vector<std::string> aal_;
};

// "AAL Fusiform_R, BA 37, Harvard-Oxford Temporal Occipital Fusiform Cortex; grey
// matter (grey 0.72, white 0.20, CSF 0.08)".
std::string placeText(const AtlasPlace& place);
// The same as one JSON object.
std::string placeJson(const AtlasPlace& place);

}  // namespace cohortix::host::anatomy
