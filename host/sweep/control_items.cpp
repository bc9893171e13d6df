#include "host/sweep/control_items.h"

#include <algorithm>
#include <fstream>
#include <memory>
#include <sstream>

#include "control/control_file_reader.h"

namespace cohortix::host::sweep {
namespace {

std::string str(int value) { return std::to_string(value); }

void addFactor(std::vector<std::string>& names, const DesignFactor& factor,
               const std::string& prefix, const std::string& number) {
  names.push_back(prefix + "Factor" + number);
  names.push_back(prefix + "Levels" + number);
  const std::string level = number.empty() ? prefix + "Level" : "Level" + number + "_";
  for (int l = 0; l < std::max(0, factor.NrOfLevels); ++l) names.push_back(level + str(l + 1));
}

}  // namespace

std::vector<std::string> customaryItemNames(const SimulationDesign& d) {
  std::vector<std::string> names = {"Version", "WithinFactors", "BetweenFactors", "Reserved1",
                                    "Name"};
  for (int f = 0; f < std::max(0, d.NrOfWithinFactors); ++f)
    addFactor(names, d.WithinFactors[f], "", str(f + 1));
  for (int f = 0; f < std::max(0, d.NrOfBetweenFactors); ++f)
    addFactor(names, d.BetweenFactors[f], "Between", "");
  names.insert(names.end(), {"Balanced", "Rest"});
  if (d.HasRestPeriods) names.push_back("RestVolumes");
  names.insert(names.end(),
               {"SubjectsPerGroup", "Reserved2", "TrialVolumes", "TrialsPerCondition", "PreVolumes",
                "PostVolumes", "BoxZ", "BoxX", "BoxY", "Resolution", "HeaderCode", "MeanBaseline",
                "BaselineSDSubjects", "BaselineSDVoxels", "NoisePercent", "Regions"});
  for (const char* item : {"Center", "Radius", "CenterSD"})
    for (int r = 0; r < d.NrOfRegions; ++r) names.push_back(item + str(r + 1));
  names.push_back("EffectRows");
  if (d.EffectsPerGroup) names.push_back("SubjectSD");
  names.push_back("Flag");
  for (int r = 0; r < d.NrOfRegions; ++r) names.push_back("Region" + str(r + 1));
  return names;
}

namespace {

Result<std::string> fileText(const std::filesystem::path& path) {
  std::ifstream file(path, std::ios::binary);
  std::ostringstream text;
  text << file.rdbuf();
  if (!file.good() && !file.eof()) return Status::error("cannot read " + path.string());
  return text.str();
}

}  // namespace

const ControlItem* ControlItems::find(const std::string& name) const {
  const auto named = [this](const std::string& wanted) -> const ControlItem* {
    for (const ControlItem& item : items)
      if (item.name == wanted) return &item;
    return nullptr;
  };
  if (const ControlItem* item = named(name)) return item;
  return named(name + "2") == nullptr ? named(name + "1") : nullptr;
}

std::string ControlItems::names() const {
  std::string list;
  for (const ControlItem& item : items) list += (list.empty() ? "" : ", ") + item.name;
  return list;
}

Result<ControlItems> readControlItems(const std::filesystem::path& path) {
  auto design = std::make_unique<SimulationDesign>();  // far too large for the stack
  std::string message;
  std::vector<TokenSpan> spans;
  if (!parseControlFile(path.c_str(), *design, message, spans)) return Status::error(message);
  ControlItems result;
  result.path = path;
  Result<std::string> text = fileText(path);
  if (!text) return text.status();
  result.text = std::move(text.value());
  const std::vector<std::string> names = customaryItemNames(*design);
  for (const TokenSpan& span : spans) {
    if (span.kind == TokenSpan::Kind::Label) {
      if (result.items.size() == names.size()) break;
      result.items.push_back({names[result.items.size()], span, {}});
    } else if (!result.items.empty()) {
      result.items.back().values.push_back(span);
    }
  }
  if (result.items.size() != names.size())
    return Status::error(path.string() + ": the reader took " + str(int(result.items.size())) +
                         " items where the study has " + str(int(names.size())));
  return result;
}

int lineAt(const std::string& text, int64_t offset) {
  const auto end = text.begin() + std::min<int64_t>(offset, int64_t(text.size()));
  return 1 + static_cast<int>(std::count(text.begin(), end, '\n'));
}

}  // namespace cohortix::host::sweep
