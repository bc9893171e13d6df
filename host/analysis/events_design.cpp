#include "host/analysis/events_design.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <map>
#include <sstream>

#include "host/documents/two_gamma_hrf.h"

namespace cohortix::host {
namespace {

constexpr char kBaseline[] = "Baseline";

std::vector<std::string> fieldsOf(const std::string& line) {
  std::vector<std::string> fields;
  std::string field;
  std::istringstream in(line);
  while (std::getline(in, field, '\t')) fields.push_back(field);
  if (!line.empty() && line.back() == '\t') fields.emplace_back();
  return fields;
}

Result<double> seconds(const std::string& field, const std::string& where, const char* what) {
  char* end = nullptr;
  const double value = std::strtod(field.c_str(), &end);
  if (field.empty() || end != field.c_str() + field.size() || !std::isfinite(value) || value < 0.0)
    return Status::error(where + ": expected a " + what + " in seconds, found \"" + field + "\"");
  return value;
}

}  // namespace

Result<std::vector<Predictor>> designFromEvents(const std::string& text, const std::string& name,
                                                int32_t volumes, double repetitionTime,
                                                const std::vector<std::string>& cells) {
  std::istringstream in(text);
  std::string line;
  if (!std::getline(in, line)) return Status::error(name + ": the events table is empty");
  if (!line.empty() && line.back() == '\r') line.pop_back();
  const std::vector<std::string> header = fieldsOf(line);
  const auto column = [&header](const char* wanted) {
    return static_cast<std::size_t>(std::find(header.begin(), header.end(), wanted) - header.begin());
  };
  const std::size_t onset = column("onset"), duration = column("duration"), type = column("trial_type");
  if (onset == header.size() || duration == header.size() || type == header.size())
    return Status::error(name + ":1: expected the columns onset, duration and trial_type");
  std::map<std::string, std::vector<ProtocolInterval>> trials;
  for (int32_t row = 2; std::getline(in, line); ++row) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty()) continue;
    const std::vector<std::string> fields = fieldsOf(line);
    const std::string where = name + ":" + std::to_string(row);
    if (fields.size() != header.size())
      return Status::error(where + ": expected " + std::to_string(header.size()) + " fields, found " +
                           std::to_string(fields.size()));
    Result<double> start = seconds(fields[onset], where, "onset");
    if (!start) return start.status();
    Result<double> length = seconds(fields[duration], where, "duration");
    if (!length) return length.status();
    const std::string& trialType = fields[type];
    if (trialType == kBaseline) continue;
    if (!cells.empty() && std::find(cells.begin(), cells.end(), trialType) == cells.end())
      return Status::error(where + ": expected a trial type that is a cell of the study, found \"" + trialType + "\"");
    const auto first = static_cast<int32_t>(std::llround(start.value() / repetitionTime)) + 1;
    const auto count = static_cast<int32_t>(std::llround(length.value() / repetitionTime));
    trials[trialType].push_back({first, first + count - 1});
  }
  std::vector<std::string> order = cells;
  if (order.empty())
    for (const auto& [trialType, intervals] : trials) order.push_back(trialType);
  const std::vector<double> kernel = twoGammaKernel(repetitionTime);
  std::vector<Predictor> predictors;
  for (const std::string& cell : order) {
    Predictor predictor{cell, std::vector<float>(static_cast<std::size_t>(std::max(volumes, 0)), 0.0f)};
    if (const auto found = trials.find(cell); found != trials.end())
      setValuesFromIntervals(predictor.values, found->second, 1.0f);
    convolveInPlace(predictor.values, kernel);
    predictors.push_back(std::move(predictor));
  }
  return predictors;
}

}  // namespace cohortix::host
