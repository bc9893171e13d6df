#include "app/region_places.h"

#include <ostream>
#include <string>

#include "host/anatomy/anatomy_cache.h"
#include "host/anatomy/atlas_labels.h"

namespace cohortix::app {

host::Status placeRegions(const SimulationDesign& design, const std::vector<TokenSpan>& spans,
                          std::ostream& out, std::vector<DesignFinding>& findings) {
  namespace anatomy = host::anatomy;
  const anatomy::AnatomySources sources = anatomy::templateSources();
  host::Result<anatomy::Anatomy> brain = anatomy::cachedAnatomy(sources);
  if (!brain) return brain.status();
  const anatomy::AtlasNames names = anatomy::AtlasNames::forSources(sources);
  for (int r = 0; r < design.NrOfRegions && r < kMaxRegions; ++r) {
    const EffectRegion& region = design.Regions[r];
    const std::string where = "region " + std::to_string(r + 1) + " (Talairach " +
                              std::to_string(region.TalX) + ", " + std::to_string(region.TalY) +
                              ", " + std::to_string(region.TalZ) + ")";
    const anatomy::AtlasPlace place =
        names.placeOf(brain.value(), {double(region.TalX), double(region.TalY), double(region.TalZ)});
    out << where << ": " << anatomy::placeText(place) << '\n';
    const std::string tissue = place.tissueName();
    if (tissue == "grey matter") continue;
    findings.push_back({DesignFinding::Kind::Warning,
                        itemLine(design, spans, "Center" + std::to_string(r + 1)),
                        where + "'s centre lies " + (place.inBrain ? "in " : "") + tissue +
                            ": its signal would fall where the anatomy has no grey matter"});
  }
  return host::Status::ok();
}

}  // namespace cohortix::app
