#include "host/report/subject_files.h"

#include <charconv>
#include <cmath>
#include <map>
#include <sstream>

#include "control/cell_index.h"
#include "control/condition_names.h"
#include "host/export/tsv_field.h"
#include "host/formats/prt_format.h"
#include "host/formats/rtc_format.h"
#include "host/io/disk_interface.h"

namespace cohortix::host {
namespace {

namespace fs = std::filesystem;

Result<std::string> textOf(const fs::path& file, DiskInterface& disk) {
  Result<std::string> text = disk.readFile(file);
  if (!text) return text.status().context("cannot read " + file.string());
  return text;
}

std::vector<std::string> splitTabs(const std::string& line) {
  std::vector<std::string> fields;
  std::size_t start = 0;
  for (std::size_t tab; (tab = line.find('\t', start)) != std::string::npos; start = tab + 1)
    fields.push_back(line.substr(start, tab - start));
  fields.push_back(line.substr(start));
  return fields;
}

bool parseNumber(const std::string& text, double& value) {
  const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
  return result.ec == std::errc() && result.ptr == text.data() + text.size();
}

// The lines of a table: header first; a last line break ends the table.
std::vector<std::string> tableLines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream stream(text);
  for (std::string line; std::getline(stream, line);) lines.push_back(line);
  return lines;
}

Status mismatch(const fs::path& file, const std::string& what) {
  return Status::error(file.string() + " does not belong to the study of the control file: " +
                       what);
}

Result<SubjectTrials> trialsFromProtocol(const SimulationDesign& design, const fs::path& file,
                                         const std::string& text) {
  Result<ProtocolDocument> parsed = parseProtocol(text, file.string());
  if (!parsed) return parsed.status();
  const ProtocolDocument& protocol = parsed.value();
  const int32_t first = FirstTrialCondition(design);
  const auto conditions = static_cast<int32_t>(protocol.conditions.size());
  if (conditions != design.NrOfWithinCells + first)
    return mismatch(file, "it has " + std::to_string(conditions) + " conditions, the study " +
                              std::to_string(design.NrOfWithinCells + first));
  SubjectTrials trials;
  for (int32_t cell = 0; cell < design.NrOfWithinCells; ++cell) {
    const ProtocolCondition& condition = protocol.conditions[static_cast<std::size_t>(cell + first)];
    if (condition.name != conditionName(design, cell))
      return mismatch(file, "condition " + std::to_string(cell + first) + " is \"" +
                                condition.name + "\", the study's cell is \"" +
                                conditionName(design, cell) + "\"");
    trials.push_back(condition.intervals);
  }
  return trials;
}

Result<SubjectTrials> trialsFromEvents(const SimulationDesign& design, const fs::path& file,
                                       const std::string& text, double repetitionTime) {
  std::map<std::string, int32_t> cellOfName;
  for (int32_t cell = 0; cell < design.NrOfWithinCells; ++cell)
    cellOfName.emplace(tsvField(conditionName(design, cell)), cell);
  const std::vector<std::string> lines = tableLines(text);
  if (lines.empty() || splitTabs(lines[0]) != std::vector<std::string>{"onset", "duration", "trial_type"})
    return Status::error(file.string() + ":1: expected the header onset, duration, trial_type");
  SubjectTrials trials(static_cast<std::size_t>(design.NrOfWithinCells));
  for (std::size_t i = 1; i < lines.size(); ++i) {
    const std::string where = file.string() + ":" + std::to_string(i + 1) + ": ";
    const std::vector<std::string> fields = splitTabs(lines[i]);
    double onset = 0, duration = 0;
    if (fields.size() != 3 || !parseNumber(fields[0], onset) || !parseNumber(fields[1], duration))
      return Status::error(where + "expected onset, duration and trial type, found \"" +
                           lines[i] + "\"");
    const auto cell = cellOfName.find(fields[2]);
    if (cell == cellOfName.end())
      return mismatch(file, "line " + std::to_string(i + 1) + " names the trial type \"" +
                                fields[2] + "\", which is no cell of the study");
    const auto firstVolume = static_cast<int32_t>(std::lround(onset / repetitionTime)) + 1;
    const auto volumes = static_cast<int32_t>(std::lround(duration / repetitionTime));
    trials[static_cast<std::size_t>(cell->second)].push_back({firstVolume, firstVolume + volumes - 1});
  }
  return trials;
}

Result<std::vector<std::vector<float>>> designFromTable(const fs::path& file,
                                                        const std::string& text) {
  const std::vector<std::string> lines = tableLines(text);
  if (lines.empty()) return Status::error(file.string() + ":1: expected a header of predictor names");
  const std::size_t columns = splitTabs(lines[0]).size();
  std::vector<std::vector<float>> design(columns);
  for (std::size_t i = 1; i < lines.size(); ++i) {
    const std::vector<std::string> fields = splitTabs(lines[i]);
    if (fields.size() != columns)
      return Status::error(file.string() + ":" + std::to_string(i + 1) + ": expected " +
                           std::to_string(columns) + " values, found " +
                           std::to_string(fields.size()));
    for (std::size_t c = 0; c < columns; ++c) {
      double value = NAN;
      if (fields[c] != "n/a" && !parseNumber(fields[c], value))
        return Status::error(file.string() + ":" + std::to_string(i + 1) +
                             ": expected a number, found \"" + fields[c] + "\"");
      design[c].push_back(static_cast<float>(value));
    }
  }
  return design;
}

}  // namespace

Result<SubjectTrials> readSubjectTrials(const StudyRun& run, const SubjectFiles& subject,
                                        double repetitionTime, DiskInterface& disk) {
  Result<std::string> text = textOf(subject.protocol, disk);
  if (!text) return text.status();
  if (run.layout == RunLayout::Native)
    return trialsFromProtocol(*run.design, subject.protocol, text.value());
  return trialsFromEvents(*run.design, subject.protocol, text.value(), repetitionTime);
}

Result<std::vector<std::vector<float>>> readSubjectDesign(const StudyRun& run,
                                                          const SubjectFiles& subject,
                                                          DiskInterface& disk) {
  Result<std::string> text = textOf(subject.design, disk);
  if (!text) return text.status();
  std::vector<std::vector<float>> columns;
  if (run.layout == RunLayout::Native) {
    Result<DesignMatrix> matrix = parseDesignMatrix(text.value(), subject.design.string());
    if (!matrix) return matrix.status();
    for (Predictor& predictor : matrix.value().predictors)
      columns.push_back(std::move(predictor.values));
  } else {
    Result<std::vector<std::vector<float>>> table = designFromTable(subject.design, text.value());
    if (!table) return table.status();
    columns = std::move(table).value();
  }
  if (static_cast<int32_t>(columns.size()) != run.design->NrOfWithinCells)
    return mismatch(subject.design, "it has " + std::to_string(columns.size()) +
                                        " predictors, the study " +
                                        std::to_string(run.design->NrOfWithinCells) + " cells");
  return columns;
}

}  // namespace cohortix::host
