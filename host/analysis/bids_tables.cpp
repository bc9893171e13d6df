#include "host/analysis/bids_tables.h"

#include <set>

#include "host/formats/text_lines.h"
#include "host/formats/tsv_table.h"

namespace cohortix::host {
namespace {

// A name that is one folder inside the dataset: no separator, no "." or "..",
// nothing a terminal or a file system would take otherwise.
bool plainFolderName(const std::string& name) {
  if (name.empty() || name == "." || name == "..") return false;
  for (const char c : name)
    if (c == '/' || c == '\\' || static_cast<unsigned char>(c) < 0x20 || c == 0x7f) return false;
  return true;
}

}  // namespace

Result<std::vector<Participant>> parseParticipants(const std::string& text, const std::string& file) {
  Result<TsvTable> table = TsvTable::parse(text, file, {"participant_id"});
  if (!table) return table.status();
  std::vector<Participant> participants;
  std::set<std::string> seen;
  for (std::size_t r = 0; r < table->rows(); ++r) {
    Participant participant{table->text(r, "participant_id"),
                            table->hasColumn("group") ? table->text(r, "group") : "all"};
    if (!plainFolderName(participant.id))
      return Status::error(table->where(r) + ": expected a subject's folder name as participant_id, found " +
                           (participant.id.empty() ? "an empty field" : describeFound(participant.id)));
    if (!seen.insert(participant.id).second)
      return Status::error(table->where(r) + ": expected each participant once, found " +
                           describeFound(participant.id) + " again");
    participants.push_back(std::move(participant));
  }
  if (participants.empty()) return Status::error(file + " lists no participant");
  return participants;
}

Result<std::vector<Predictor>> parseDesignTable(const std::string& text, const std::string& file) {
  Result<TsvTable> table = TsvTable::parse(text, file);
  if (!table) return table.status();
  std::vector<Predictor> predictors;
  for (const std::string& name : table->header()) predictors.push_back({name, {}});
  for (std::size_t r = 0; r < table->rows(); ++r)
    for (std::size_t p = 0; p < predictors.size(); ++p) {
      Result<float> value = table->finiteFloat(r, p);
      if (!value) return value.status();
      predictors[p].values.push_back(value.value());
    }
  return predictors;
}

}  // namespace cohortix::host
