#include "host/truth/truth_json.h"

#include <cfloat>
#include <cmath>
#include <limits>

namespace cohortix::host::truth {
namespace {

// A field that is missing or not of its type, thrown out of the readers below to
// the one place that turns it into a status.
struct Mistyped {
  std::string what;
};

using Test = bool (*)(const JsonValue&);

// A value as a message shows it: at most 40 characters, one line of ASCII.
std::string found(const JsonValue* value) {
  if (value == nullptr) return "none";
  std::string text = value->dump(-1, ' ', true, JsonValue::error_handler_t::replace);
  if (text.size() > 40) text = text.substr(0, 40) + "...";
  return text;
}

[[noreturn]] void expected(const std::string& at, const char* what, const JsonValue* value) {
  throw Mistyped{std::string("expected ") + what + " at " + (at.empty() ? "the top" : at) +
                 ", found " + found(value)};
}

template <typename T>
bool wholeIn(const JsonValue& v) {
  if (v.is_number_unsigned()) return v.get<uint64_t>() <= static_cast<uint64_t>(std::numeric_limits<T>::max());
  return v.is_number_integer() && v.get<int64_t>() >= std::numeric_limits<T>::min() &&
         v.get<int64_t>() <= std::numeric_limits<T>::max();
}
bool isCount(const JsonValue& v) { return wholeIn<int64_t>(v) && v.get<int64_t>() >= 0; }
bool isSingle(const JsonValue& v) { return v.is_number() && std::fabs(v.get<double>()) <= FLT_MAX; }
bool isNumber(const JsonValue& v) { return v.is_number(); }
bool isText(const JsonValue& v) { return v.is_string(); }
bool isList(const JsonValue& v) { return v.is_array(); }
bool isObject(const JsonValue& v) { return v.is_object(); }

const JsonValue& field(const JsonValue& object, const std::string& at, const char* key,
                       const char* what, Test test) {
  const auto it = object.find(key);
  if (it == object.end() || !test(*it)) expected(at + "/" + key, what, it == object.end() ? nullptr : &*it);
  return *it;
}

float single(const JsonValue& object, const std::string& at, const char* key) {
  return static_cast<float>(
      field(object, at, key, "a number within the range of a 32-bit float", isSingle).get<double>());
}

int64_t count(const JsonValue& object, const std::string& at, const char* key) {
  return field(object, at, key, "a whole number, 0 or more", isCount).get<int64_t>();
}

std::string text(const JsonValue& object, const std::string& at, const char* key) {
  return field(object, at, key, "text", isText).get<std::string>();
}

// Three of a kind: a list of 3 values each passing `test`.
template <typename T>
std::array<T, 3> triple(const JsonValue& object, const std::string& at, const char* key,
                        const char* what, Test test) {
  const JsonValue& list = field(object, at, key, what, isList);
  if (list.size() != 3 || !test(list[0]) || !test(list[1]) || !test(list[2]))
    expected(at + "/" + key, what, &list);
  return {list[0].get<T>(), list[1].get<T>(), list[2].get<T>()};
}

TruthAtlasPlace atlasOf(const JsonValue& atlas, const std::string& at) {
  return {text(atlas, at, "AAL"), text(atlas, at, "Brodmann"), text(atlas, at, "HarvardOxford"),
          text(atlas, at, "Tissue")};
}

TruthJsonRegion regionOf(const JsonValue& region, const std::string& at) {
  if (!region.is_object()) expected(at, "a region (an object)", &region);
  TruthJsonRegion r;
  r.region = count(region, at, "Region");
  r.centreVoxel = triple<int32_t>(region, at, "CentreVoxel", "a list of 3 whole numbers",
                                  wholeIn<int32_t>);
  r.centreTalairach = triple<double>(region, at, "CentreTalairach", "a list of 3 numbers", isNumber);
  r.voxelsWritten = count(region, at, "VoxelsWritten");
  r.voxelsOverwritten = count(region, at, "VoxelsOverwritten");
  const JsonValue& effects = field(region, at, "Effects", "a list of effects", isList);
  for (std::size_t p = 0; p < effects.size(); ++p) {
    const std::string where = at + "/Effects/" + std::to_string(p);
    if (!effects[p].is_object()) expected(where, "an effect (an object)", &effects[p]);
    r.received.push_back(single(effects[p], where, "Received"));
  }
  if (region.contains("Atlas"))
    r.atlas = atlasOf(field(region, at, "Atlas", "an object", isObject), at + "/Atlas");
  return r;
}

TruthJson truthOf(const JsonValue& json) {
  if (!json.is_object() || !json.contains("Baseline") || !json.contains("Regions"))
    expected("", "a subject's ground truth (an object with \"Baseline\" and \"Regions\")", &json);
  TruthJson truth;
  truth.subject = count(json, "", "Subject");
  truth.group = count(json, "", "Group");
  const JsonValue& cells = field(json, "", "Cells", "a list of cell names", isList);
  for (std::size_t p = 0; p < cells.size(); ++p) {
    if (!cells[p].is_string()) expected("/Cells/" + std::to_string(p), "text", &cells[p]);
    truth.cells.push_back(cells[p].get<std::string>());
  }
  truth.baseline = single(json, "", "Baseline");
  truth.onePercent = single(json, "", "OnePercent");
  truth.noiseSD = single(json, "", "NoiseSD");
  const JsonValue& regions = field(json, "", "Regions", "a list of regions", isList);
  for (std::size_t r = 0; r < regions.size(); ++r)
    truth.regions.push_back(regionOf(regions[r], "/Regions/" + std::to_string(r)));
  return truth;
}

}  // namespace

const JsonLimits& truthJsonLimits() {
  static const JsonLimits limits{"subject's truth JSON", uint64_t{128} << 20, 64};
  return limits;
}

Result<TruthJson> truthOfJson(const JsonValue& json) {
  try {
    return truthOf(json);
  } catch (const Mistyped& mistyped) {
    return Status::error(mistyped.what);
  }
}

Result<TruthJson> readTruthJson(const std::filesystem::path& file, DiskInterface& disk) {
  Result<JsonValue> json = readJsonFile(file, disk, truthJsonLimits());
  if (!json) return json.status();
  Result<TruthJson> truth = truthOfJson(json.value());
  if (!truth) return truth.status().context("cannot read " + file.string());
  return truth;
}

}  // namespace cohortix::host::truth
