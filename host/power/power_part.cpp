#include "host/power/power_part.h"

#include <cmath>
#include <climits>
#include <limits>
#include <stdexcept>


namespace cohortix::host {
namespace {

constexpr char kKind[] = "cohortix power block";
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// No count of a replicate comes near this: sums of counts stay far from overflow.
constexpr int64_t kLargestCount = int64_t{1} << 48;

// A value for a message: one line of ASCII, at most `width` characters.
std::string shown(const JsonValue& value, std::size_t width = 40) {
  return value.dump(-1, ' ', true).substr(0, width);
}

// A whole number in the file within [low, high]; a fraction or anything else is no
// count.
int64_t wholeNumber(const JsonValue& value, int64_t low, int64_t high) {
  if (!value.is_number_integer() || (value.is_number_unsigned() && value.get<uint64_t>() > uint64_t(high)))
    throw std::invalid_argument("expected a whole number, found " + shown(value));
  const auto number = value.get<int64_t>();
  if (number < low || number > high)
    throw std::invalid_argument("expected a whole number from " + std::to_string(low) + " to " +
                                std::to_string(high) + ", found " + shown(value));
  return number;
}

int32_t wholeInt(const JsonValue& value) { return static_cast<int32_t>(wholeNumber(value, 0, INT32_MAX)); }

JsonValue number(double value) { return std::isnan(value) ? JsonValue(nullptr) : JsonValue(value); }

double numberOf(const JsonValue& value) {
  if (value.is_null()) return kNaN;
  if (!value.is_number()) throw std::invalid_argument("expected a number or null, found " + shown(value));
  return value.get<double>();
}

const JsonValue& arrayOf(const JsonValue& value) {
  if (!value.is_array()) throw std::invalid_argument("expected a list, found " + shown(value));
  return value;
}

const JsonLimits& partLimits() {
  // A block's scores: a few numbers per replicate, test and region.
  static const JsonLimits limits{"power block", uint64_t{512} << 20, 8};
  return limits;
}

PowerRow rowOf(const JsonValue& fields) {
  if (!fields.is_array() || fields.size() != 7) throw std::invalid_argument("expected rows of seven fields");
  PowerRow row;
  row.subjects = wholeInt(fields[0]);
  row.scope = fields[1].get<std::string>();
  row.effect = fields[2].get<std::string>();
  row.region = fields[3].get<std::string>();
  row.measure = fields[4].get<std::string>();
  row.trueEffect = numberOf(fields[5]);
  row.analytic = numberOf(fields[6]);
  row.estimate = {kNaN, kNaN, kNaN};
  return row;
}

ReplicateScores replicateOf(const JsonValue& tests) {
  ReplicateScores scores;
  for (const JsonValue& counts : arrayOf(tests)) {
    std::vector<int64_t> flat;
    for (const JsonValue& count : arrayOf(counts)) flat.push_back(wholeNumber(count, 0, kLargestCount));
    TestScore score;
    if (!scoreFromFlat(flat, score))
      throw std::invalid_argument("expected a replicate's counts, found " + shown(counts, 80));
    scores.push_back(std::move(score));
  }
  return scores;
}

PowerPart partOf(const JsonValue& json) {
  if (!json.is_object() || !json.contains("kind") || json.at("kind") != kKind)
    throw std::invalid_argument(std::string("expected \"kind\": \"") + kKind + "\"");
  PowerPart part;
  const JsonValue& identity = json.at("identity");
  if (!identity.is_object()) throw std::invalid_argument("expected the identity as an object");
  for (const auto& [name, value] : identity.items()) {
    if (!value.is_string()) throw std::invalid_argument("expected the identity's values as strings");
    part.identity.emplace_back(name, value.get<std::string>());
  }
  part.replicates = wholeInt(json.at("replicates"));
  part.block = {wholeInt(json.at("block")), wholeInt(json.at("blocks"))};
  if (part.block.count < 1 || part.block.index < 1 || part.block.index > part.block.count ||
      part.block.count > part.replicates)
    throw std::invalid_argument("expected a block K/B of the replicates, found " + replicateBlockText(part.block));
  for (const JsonValue& row : arrayOf(json.at("rows"))) part.rows.push_back(rowOf(row));
  for (const JsonValue& sample : arrayOf(json.at("scores"))) {
    part.scores.emplace_back();
    for (const JsonValue& replicate : arrayOf(sample)) part.scores.back().push_back(replicateOf(replicate));
  }
  return part;
}

// The first name whose value differs, or is in one identity alone.
std::string firstDifference(const PowerPart& a, const PowerPart& b) {
  const auto valueIn = [](const PowerPart& part, const std::string& name) -> const std::string* {
    for (const auto& [key, value] : part.identity)
      if (key == name) return &value;
    return nullptr;
  };
  for (const PowerPart* part : {&a, &b})
    for (const auto& [name, value] : part->identity) {
      const std::string* mine = valueIn(a, name);
      const std::string* theirs = valueIn(b, name);
      if (mine == nullptr || theirs == nullptr || *mine != *theirs)
        return name + " " + (theirs ? *theirs : "(none)") + " against " + (mine ? *mine : "(none)");
    }
  return {};
}

bool sameLabels(const PowerRow& a, const PowerRow& b) {
  return a.subjects == b.subjects && a.scope == b.scope && a.effect == b.effect && a.region == b.region &&
         a.measure == b.measure;
}

Status fitsTheFirst(const PowerPart& part, const PowerPart& first, int32_t index, int32_t blocks) {
  const std::string name = part.source.empty() ? "block " + std::to_string(index) : part.source;
  if (const std::string difference = firstDifference(first, part); !difference.empty())
    return Status::error(name + " is a block of another power analysis than " + first.source + ": " + difference);
  if (part.replicates != first.replicates || part.block.count != blocks || part.block.index != index)
    return Status::error(name + " holds block " + replicateBlockText(part.block) + " of " +
                         std::to_string(part.replicates) + " replicates, expected block " +
                         replicateBlockText({index, blocks}) + " of " + std::to_string(first.replicates));
  bool sameRows = part.rows.size() == first.rows.size() && part.scores.size() == first.scores.size();
  for (std::size_t i = 0; sameRows && i < part.rows.size(); ++i) sameRows = sameLabels(part.rows[i], first.rows[i]);
  if (!sameRows) return Status::error(name + " holds other rows than " + first.source);
  const int32_t count = replicateRangeOf(part.block, part.replicates).count;
  for (const std::vector<ReplicateScores>& sample : part.scores)
    if (static_cast<int32_t>(sample.size()) != count)
      return Status::error(name + " holds the scores of " + std::to_string(sample.size()) +
                           " replicates of a sample size, expected " + std::to_string(count));
  return Status::ok();
}

}  // namespace

std::string powerPartText(const PowerPart& part) {
  JsonValue json;
  json["kind"] = kKind;
  json["identity"] = JsonValue::object();
  for (const auto& [name, value] : part.identity) json["identity"][name] = value;
  json["replicates"] = part.replicates;
  json["block"] = part.block.index;
  json["blocks"] = part.block.count;
  json["rows"] = JsonValue::array();
  for (const PowerRow& row : part.rows)
    json["rows"].push_back({row.subjects, row.scope, row.effect, row.region, row.measure, number(row.trueEffect),
                            number(row.analytic)});
  json["scores"] = JsonValue::array();
  for (const std::vector<ReplicateScores>& sample : part.scores) {
    JsonValue replicates = JsonValue::array();
    for (const ReplicateScores& replicate : sample) {
      JsonValue tests = JsonValue::array();
      for (const TestScore& test : replicate) tests.push_back(flatScore(test));
      replicates.push_back(std::move(tests));
    }
    json["scores"].push_back(std::move(replicates));
  }
  return json.dump() + "\n";
}

Result<PowerPart> powerPartOf(const JsonValue& json, const std::string& source) {
  try {
    PowerPart part = partOf(json);
    part.source = source;
    return part;
  } catch (const std::exception& e) {
    return Status::error("cannot read " + source + ": not a whole block of a power analysis (" + e.what() + ")");
  }
}

Result<PowerPart> readPowerPart(const std::filesystem::path& path, DiskInterface& disk) {
  Result<JsonValue> json = readJsonFile(path, disk, partLimits());
  if (!json) return json.status();
  return powerPartOf(json.value(), path.string());
}

Result<std::vector<PowerRow>> combinePowerParts(const std::vector<PowerPart>& parts) {
  if (parts.empty()) return Status::error("expected the blocks of a power analysis, found none");
  const PowerPart& first = parts.front();
  const auto blocks = static_cast<int32_t>(parts.size());
  for (std::size_t k = 0; k < parts.size(); ++k)
    if (Status fits = fitsTheFirst(parts[k], first, static_cast<int32_t>(k) + 1, blocks); !fits) return fits;
  std::vector<PowerRow> rows = first.rows;
  std::size_t next = 0;
  for (std::size_t s = 0; s < first.scores.size(); ++s) {
    std::vector<TestTallies> tallies;
    for (const PowerPart& part : parts)
      for (const ReplicateScores& replicate : part.scores[s]) {
        if (tallies.empty())
          for (const TestScore& test : replicate) tallies.emplace_back(test.regions.size());
        if (replicate.size() != tallies.size())
          return Status::error(part.source + " holds replicates of other tests than " + first.source);
        for (std::size_t t = 0; t < tallies.size(); ++t) tallies[t].add(replicate[t]);
      }
    for (const TestTallies& test : tallies)
      for (const RowEstimate& estimate : test.estimates()) {
        if (next == rows.size()) return Status::error(first.source + " holds fewer rows than its scores make");
        rows[next].estimate = estimate.estimate;
        rows[next++].replicates = estimate.replicates;
      }
  }
  if (next != rows.size()) return Status::error(first.source + " holds more rows than its scores make");
  return rows;
}

}  // namespace cohortix::host
