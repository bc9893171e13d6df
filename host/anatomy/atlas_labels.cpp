#include "host/anatomy/atlas_labels.h"

#include <charconv>
#include <cmath>
#include <fstream>
#include <sstream>

#include "host/export/json_text.h"

namespace cohortix::host::anatomy {
namespace {

// The Harvard-Oxford cortical atlas's labels 1 to 48.
constexpr const char* kHarvardOxford[] = {
    "Frontal Pole", "Insular Cortex", "Superior Frontal Gyrus", "Middle Frontal Gyrus",
    "Inferior Frontal Gyrus, pars triangularis", "Inferior Frontal Gyrus, pars opercularis",
    "Precentral Gyrus", "Temporal Pole", "Superior Temporal Gyrus, anterior division",
    "Superior Temporal Gyrus, posterior division", "Middle Temporal Gyrus, anterior division",
    "Middle Temporal Gyrus, posterior division", "Middle Temporal Gyrus, temporooccipital part",
    "Inferior Temporal Gyrus, anterior division", "Inferior Temporal Gyrus, posterior division",
    "Inferior Temporal Gyrus, temporooccipital part", "Postcentral Gyrus",
    "Superior Parietal Lobule", "Supramarginal Gyrus, anterior division",
    "Supramarginal Gyrus, posterior division", "Angular Gyrus",
    "Lateral Occipital Cortex, superior division", "Lateral Occipital Cortex, inferior division",
    "Intracalcarine Cortex", "Frontal Medial Cortex",
    "Juxtapositional Lobule Cortex (formerly Supplementary Motor Cortex)", "Subcallosal Cortex",
    "Paracingulate Gyrus", "Cingulate Gyrus, anterior division",
    "Cingulate Gyrus, posterior division", "Precuneous Cortex", "Cuneal Cortex",
    "Frontal Orbital Cortex", "Parahippocampal Gyrus, anterior division",
    "Parahippocampal Gyrus, posterior division", "Lingual Gyrus",
    "Temporal Fusiform Cortex, anterior division", "Temporal Fusiform Cortex, posterior division",
    "Temporal Occipital Fusiform Cortex", "Occipital Fusiform Gyrus", "Frontal Operculum Cortex",
    "Central Opercular Cortex", "Parietal Operculum Cortex", "Planum Polare",
    "Heschl's Gyrus (includes H1 and H2)", "Planum Temporale", "Supracalcarine Cortex",
    "Occipital Pole"};

// A fraction with `digits` decimals, whatever the locale.
std::string fixed(double value, int digits) {
  char text[32];
  const auto end = std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, digits).ptr;
  return std::string(text, end);
}

uint8_t labelAt(const std::vector<uint8_t>& labels, int64_t index) {
  return labels.empty() || index < 0 ? 0 : labels[static_cast<std::size_t>(index)];
}

}  // namespace

std::string AtlasPlace::tissueName() const {
  if (!inBrain) return "outside the brain";
  if (tissue[kGrey] >= tissue[kWhite] && tissue[kGrey] >= tissue[kCsf]) return "grey matter";
  return tissue[kWhite] >= tissue[kCsf] ? "white matter" : "CSF";
}

AtlasNames AtlasNames::forSources(const AnatomySources& sources) {
  AtlasNames names;
  if (sources.aal.empty()) return names;
  std::string table = sources.aal.string();
  table = table.substr(0, table.size() - (table.ends_with(".gz") ? 3 : 0)) + ".txt";
  std::ifstream in(table);
  for (std::string line; std::getline(in, line);) {
    std::istringstream fields(line);
    std::size_t index = 0;
    std::string name;
    if (!(fields >> index >> name) || index == 0 || index > 255) continue;
    if (names.aal_.size() <= index) names.aal_.resize(index + 1);
    names.aal_[index] = name;
  }
  return names;
}

AtlasPlace AtlasNames::placeOf(const Anatomy& anatomy, const Point& talairach) const {
  const Point grid = gridOfTalairach(talairach);
  const int64_t i = anatomy.grid.index(static_cast<int32_t>(std::lround(grid[0])),
                                       static_cast<int32_t>(std::lround(grid[1])),
                                       static_cast<int32_t>(std::lround(grid[2])));
  AtlasPlace place;
  place.inBrain = labelAt(anatomy.brain, i) != 0;
  for (int c = 0; c < 3; ++c) place.tissue[c] = labelAt(anatomy.tissue[c], i) / 255.0f;
  if (const uint8_t a = labelAt(anatomy.aal, i); a > 0)
    place.aal = a < aal_.size() && !aal_[a].empty() ? aal_[a] : "label " + std::to_string(a);
  if (const uint8_t b = labelAt(anatomy.brodmann, i); b > 0) place.brodmann = "BA " + std::to_string(b);
  if (const uint8_t h = labelAt(anatomy.harvardOxford, i); h > 0 && h <= std::size(kHarvardOxford))
    place.harvardOxford = kHarvardOxford[h - 1];
  return place;
}

std::string placeText(const AtlasPlace& place) {
  std::string labels;
  const auto add = [&](const std::string& atlas, const std::string& label) {
    if (!label.empty()) labels += (labels.empty() ? "" : ", ") + atlas + label;
  };
  add("AAL ", place.aal);
  add("", place.brodmann);
  add("Harvard-Oxford ", place.harvardOxford);
  if (labels.empty()) labels = "no atlas label";
  return labels + "; " + place.tissueName() + " (grey " + fixed(place.tissue[kGrey], 2) +
         ", white " + fixed(place.tissue[kWhite], 2) + ", CSF " +
         fixed(place.tissue[kCsf], 2) + ")";
}

std::string placeJson(const AtlasPlace& place) {
  return "{\"AAL\": " + jsonString(place.aal) + ", \"Brodmann\": " + jsonString(place.brodmann) +
         ", \"HarvardOxford\": " + jsonString(place.harvardOxford) + ", \"Tissue\": " +
         jsonString(place.tissueName()) + ", \"Grey\": " + fixed(place.tissue[kGrey], 3) +
         ", \"White\": " + fixed(place.tissue[kWhite], 3) + ", \"CSF\": " +
         fixed(place.tissue[kCsf], 3) + "}";
}

}  // namespace cohortix::host::anatomy
