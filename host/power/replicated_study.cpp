#include "host/power/replicated_study.h"

#include <string>
#include <vector>

#include "control/control_file_reader.h"
#include "host/io/disk_interface.h"
#include "host/sweep/control_edit.h"
#include "host/sweep/control_items.h"

namespace cohortix::host {
namespace {

using sweep::ControlItem;
using sweep::ControlItems;
using sweep::ItemEdit;

std::string wordAt(const ControlItems& items, const ControlItem& item, std::size_t i) {
  const TokenSpan& span = item.values[i];
  return items.text.substr(static_cast<std::size_t>(span.begin),
                           static_cast<std::size_t>(span.end - span.begin));
}

// Effect rows per subject: replicate k's subject i of group g takes the base's row
// g S + (i mod S), S the base's subjects per group.
ItemEdit expandedRows(const ControlItems& items, const ControlItem& region,
                      const SimulationDesign& base, int32_t subjects, int32_t replicates) {
  const auto cells = static_cast<std::size_t>(base.NrOfWithinCells);
  const int32_t perGroup = base.NrOfSubjectsPerGroup;
  ItemEdit edit{&region, {}};
  for (int32_t g = 0; g < base.NrOfGroups; ++g)
    for (int32_t k = 0; k < replicates; ++k)
      for (int32_t i = 0; i < subjects; ++i) {
        const auto row = static_cast<std::size_t>(g * perGroup + i % perGroup);
        std::vector<std::string> words;
        for (std::size_t c = 0; c < cells; ++c) words.push_back(wordAt(items, region, row * cells + c));
        edit.rows.push_back(std::move(words));
      }
  return edit;
}

Status fitsControlFile(const SimulationDesign& base, int64_t perGroup) {
  if (perGroup * base.NrOfGroups > 2147483647)
    return Status::error("expected at most 2147483647 subjects in all, found " +
                         std::to_string(base.NrOfGroups) + " groups of " + std::to_string(perGroup));
  if (base.EffectsPerGroup || base.NrOfRegions == 0) return Status::ok();
  if (base.NrOfSubjectsPerGroup <= 0)
    return Status::error("expected effect rows per subject to repeat, found no subject");
  const int64_t rows = perGroup * base.NrOfGroups;
  if (rows <= kMaxEffectRows) return Status::ok();
  return Status::error("expected at most " + std::to_string(kMaxEffectRows) +
                       " effect rows (one per subject of every replicate), found " +
                       std::to_string(rows) +
                       "; give the effects per group (EffectRows: Group) for more subjects or "
                       "replicates");
}

}  // namespace

Result<std::unique_ptr<SimulationDesign>> readStudyDesign(const std::filesystem::path& controlFile) {
  auto design = std::make_unique<SimulationDesign>();  // far too large for the stack
  std::string message;
  if (!parseControlFile(controlFile.c_str(), *design, message)) return Status::error(message);
  return design;
}

Result<ReplicatedStudy> replicateStudy(const std::filesystem::path& controlFile, int32_t subjects,
                                       int32_t replicates, const std::filesystem::path& folder,
                                       DiskInterface& disk) {
  Result<ControlItems> items = sweep::readControlItems(controlFile);
  if (!items) return items.status();
  Result<std::unique_ptr<SimulationDesign>> base = readStudyDesign(controlFile);
  if (!base) return base.status();
  const int64_t perGroup = int64_t{subjects} * replicates;
  if (Status fits = fitsControlFile(*base.value(), perGroup); !fits)
    return std::move(fits).context(controlFile.string() + ": " + std::to_string(replicates) +
                                   " replicates of " + std::to_string(subjects) + " subjects");
  std::vector<ItemEdit> edits;
  edits.push_back({items.value().find("SubjectsPerGroup"), {{std::to_string(perGroup)}}});
  if (!base.value()->EffectsPerGroup)
    for (int32_t r = 0; r < base.value()->NrOfRegions; ++r)
      edits.push_back(expandedRows(items.value(), *items.value().find("Region" + std::to_string(r + 1)),
                                   *base.value(), subjects, replicates));
  Result<sweep::EditedText> edited = sweep::editItems(items.value(), edits);
  if (!edited) return edited.status().context(controlFile.string());
  ReplicatedStudy study;
  study.controlFile = folder / controlFile.filename();
  const std::string_view text = edited.value().text;
  if (Status written = disk.writeFile(study.controlFile, {&text, 1}); !written)
    return std::move(written).context("cannot write " + study.controlFile.string());
  if (Status read = sweep::checkEditedFile(study.controlFile, items.value(), edited.value()); !read)
    return read;
  Result<std::unique_ptr<SimulationDesign>> design = readStudyDesign(study.controlFile);
  if (!design) return design.status();
  study.design = std::move(design.value());
  study.subjects = subjects;
  study.replicates = replicates;
  return study;
}

}  // namespace cohortix::host
