#include "host/replicate/replicate_study.h"

#include <limits>

#include "host/session/run_order.h"

namespace cohortix::host::replicate {
namespace {

std::string wordAt(const std::string& text, const TokenSpan& span) {
  return text.substr(static_cast<std::size_t>(span.begin), static_cast<std::size_t>(span.end - span.begin));
}

// Each group's N rows of cells, once for every sample.
std::vector<std::vector<std::string>> repeatedRows(const sweep::ControlItems& items,
                                                   const sweep::ControlItem& region,
                                                   const SimulationDesign& study, int32_t samples) {
  const auto cells = static_cast<std::size_t>(study.NrOfWithinCells);
  std::vector<std::vector<std::string>> rows;
  for (int32_t g = 0; g < study.NrOfGroups; ++g)
    for (int32_t sample = 0; sample < samples; ++sample)
      for (int32_t s = 0; s < study.NrOfSubjectsPerGroup; ++s) {
        const std::size_t first = static_cast<std::size_t>(g * study.NrOfSubjectsPerGroup + s) * cells;
        std::vector<std::string>& row = rows.emplace_back();
        for (std::size_t c = 0; c < cells && first + c < region.values.size(); ++c)
          row.push_back(wordAt(items.text, region.values[first + c]));
      }
  return rows;
}

}  // namespace

Result<sweep::EditedText> expandedStudy(const sweep::ControlItems& items, const SimulationDesign& study,
                                  int32_t replicate) {
  if (replicate < 0) return Status::error("expected a replicate of 0 or more, found " + std::to_string(replicate));
  const int64_t samples = int64_t{replicate} + 1;
  const int64_t perGroup = int64_t{study.NrOfSubjectsPerGroup} * samples;
  const int64_t subjects = perGroup * study.NrOfGroups;
  if (subjects > std::numeric_limits<int32_t>::max())
    return Status::error("replicate " + std::to_string(replicate) + " needs " + std::to_string(subjects) +
                         " subjects, more than a run can number");
  if (!study.EffectsPerGroup && study.NrOfRegions > 0 && study.NrOfWithinCells > 0 &&
      subjects > kMaxEffectRows)
    return Status::error("replicate " + std::to_string(replicate) + " needs " + std::to_string(subjects) +
                         " effect rows, one per simulated subject, and a control file holds at most " +
                         std::to_string(kMaxEffectRows) + "; give the effects per group or ask for a lower replicate");
  const sweep::ControlItem* subjectsItem = items.find("SubjectsPerGroup");
  if (subjectsItem == nullptr) return Status::error(items.path.string() + ": found no SubjectsPerGroup item");
  std::vector<sweep::ItemEdit> edits = {{subjectsItem, {{std::to_string(perGroup)}}}};
  if (!study.EffectsPerGroup && study.NrOfWithinCells > 0 && study.NrOfSubjectsPerGroup > 0) {
    for (int32_t r = 0; r < study.NrOfRegions; ++r) {
      const sweep::ControlItem* region = items.find("Region" + std::to_string(r + 1));
      if (region == nullptr || region->values.empty()) continue;
      edits.push_back({region, repeatedRows(items, *region, study, static_cast<int32_t>(samples))});
    }
  }
  return sweep::editItems(items, edits);
}

std::vector<std::optional<std::size_t>> keptSubjects(const SimulationDesign& study, int32_t replicate) {
  // 64-bit: only an expansion that expandedStudy accepts fits 32 bits.
  const int64_t n = study.NrOfSubjectsPerGroup;
  const int64_t skipped = n * replicate;
  std::vector<std::optional<std::size_t>> kept;
  for (int64_t g = 0; g < study.NrOfGroups; ++g)
    for (int64_t s = 0; s < skipped + n; ++s) {
      if (s < skipped) kept.emplace_back();
      else kept.emplace_back(static_cast<std::size_t>(g * n + s - skipped));
    }
  return kept;
}

SubjectSelection replicateSelection(const SimulationDesign& study, const SimulationDesign& expanded,
                                    int32_t replicate) {
  return SubjectSelection(runOrderOf(expanded), runOrderOf(study), keptSubjects(study, replicate));
}

}  // namespace cohortix::host::replicate
