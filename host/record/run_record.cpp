#include "host/record/run_record.h"

#include <cstdint>
#include <limits>
#include <type_traits>

#include "host/io/json_input.h"
#include "host/record/base64_text.h"

namespace cohortix::host::record {
namespace {

using Json = JsonValue;

// A word the shell reads back as it is, quoted only when it must be.
std::string shellWord(const std::string& word) {
  const bool plain = !word.empty() && word.find_first_not_of(
                                          "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ"
                                          "0123456789-_./=:,+@%") == std::string::npos;
  if (plain) return word;
  std::string quoted = "'";
  for (const char c : word) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

Json valueOf(const RecordedOption& option) {
  if (option.flag) return option.on;
  if (option.values.empty()) return nullptr;
  if (option.values.size() == 1) return option.values.front();
  return option.values;
}

// Whether the bytes are UTF-8 text, which a JSON string can hold as it is.
bool utf8Text(const std::string& bytes) {
  try {
    static_cast<void>(Json(bytes).dump());
    return true;
  } catch (const Json::type_error&) {
    return false;
  }
}

// The copy as text, or in Base64 when its bytes are not UTF-8.
Json textJson(const RecordedText& text) {
  Json json = {{"Option", text.option}, {"Path", text.path}, {"XXH128", text.checksum}};
  if (utf8Text(text.text)) json["Text"] = text.text;
  else json["Base64"] = base64Of(text.text);
  return json;
}

Json pairsJson(const std::vector<std::pair<std::string, std::string>>& pairs) {
  Json object = Json::object();
  for (const auto& [name, value] : pairs) object[name] = value;
  return object;
}

Json commandLineJson(const RunRecord& record) {
  Json resolved = Json::array();
  for (const RecordedOption& option : record.options)
    resolved.push_back({{"Option", option.name}, {"Value", valueOf(option)}, {"Given", option.given}});
  return {{"Text", record.commandLineText()}, {"Arguments", record.arguments},
          {"Resolved", resolved}};
}

Json filesJson(const std::vector<RecordedFile>& files) {
  Json list = Json::array();
  for (const RecordedFile& file : files)
    list.push_back({{"Output", file.output}, {"Path", file.path}, {"Bytes", file.bytes},
                    {"XXH128", file.checksum}});
  return list;
}

// A whole number of the JSON that T holds exactly.
template <typename T>
bool fitsIn(const Json& value) {
  if (value.is_number_unsigned())
    return value.get<uint64_t>() <= static_cast<uint64_t>(std::numeric_limits<T>::max());
  if (value.is_number_integer())
    return value.get<int64_t>() >= static_cast<int64_t>(std::numeric_limits<T>::min()) &&
           (value.get<int64_t>() < 0 ||
            static_cast<uint64_t>(value.get<int64_t>()) <= static_cast<uint64_t>(std::numeric_limits<T>::max()));
  return false;
}

// Reading: every field is looked up by name, and a missing or mistyped one is
// refused with its name.
class Reader {
 public:
  explicit Reader(const Json& json) : json_(json) {}
  template <typename T>
  T get(const Json& object, const char* key) {
    if (!object.is_object() || !object.contains(key)) {
      fail(std::string("no \"") + key + "\"");
      return T();
    }
    if constexpr (std::is_integral_v<T> && !std::is_same_v<T, bool>) {
      // The library would cast a fraction, or a number out of the type's range,
      // without a word (undefined for the latter): a record holds whole numbers.
      if (!fitsIn<T>(object.at(key))) {
        fail(std::string("\"") + key + "\" is not what a record holds there");
        return T();
      }
    }
    try {
      return object.at(key).get<T>();
    } catch (const Json::exception&) {
      fail(std::string("\"") + key + "\" is not what a record holds there");
      return T();
    }
  }
  const Json& at(const Json& object, const char* key) {
    static const Json kNull;
    if (!object.is_object() || !object.contains(key)) {
      fail(std::string("no \"") + key + "\"");
      return kNull;
    }
    return object.at(key);
  }
  RecordedText text(const Json& object) {
    RecordedText copy{get<std::string>(object, "Option"), get<std::string>(object, "Path"),
                      get<std::string>(object, "XXH128"), {}};
    if (!object.is_object() || !object.contains("Base64")) {
      copy.text = get<std::string>(object, "Text");
      return copy;
    }
    const std::optional<std::string> bytes = bytesOfBase64(get<std::string>(object, "Base64"));
    if (bytes) copy.text = *bytes;
    else fail("\"Base64\" of " + copy.path + " is not Base64");
    return copy;
  }
  std::vector<std::pair<std::string, std::string>> pairs(const Json& object) {
    std::vector<std::pair<std::string, std::string>> pairs;
    if (!object.is_object()) return pairs;
    for (const auto& [name, value] : object.items())
      pairs.emplace_back(name, value.is_string() ? value.get<std::string>() : value.dump());
    return pairs;
  }
  void fail(std::string what) {
    if (problem_.empty()) problem_ = std::move(what);
  }
  const std::string& problem() const { return problem_; }
  const Json& json() const { return json_; }

 private:
  const Json& json_;
  std::string problem_;
};

RecordedOption optionOf(Reader& reader, const Json& entry) {
  RecordedOption option;
  option.name = reader.get<std::string>(entry, "Option");
  option.given = reader.get<bool>(entry, "Given");
  const Json& value = reader.at(entry, "Value");
  if (value.is_boolean()) {
    option.flag = true;
    option.on = value.get<bool>();
  } else if (value.is_string()) {
    option.values.push_back(value.get<std::string>());
  } else if (value.is_array()) {
    for (const Json& item : value)
      option.values.push_back(item.is_string() ? item.get<std::string>() : item.dump());
  }
  return option;
}

void readCommandLine(Reader& reader, const Json& line, RunRecord& record) {
  record.arguments = reader.get<std::vector<std::string>>(line, "Arguments");
  const Json& resolved = reader.at(line, "Resolved");
  if (!resolved.is_array()) return reader.fail("\"Resolved\" is not a list");
  for (const Json& entry : resolved) record.options.push_back(optionOf(reader, entry));
}

void readFiles(Reader& reader, const Json& files, RunRecord& record) {
  if (!files.is_array()) return reader.fail("\"Files\" is not a list");
  for (const Json& file : files)
    record.files.push_back({reader.get<std::string>(file, "Output"),
                            reader.get<std::string>(file, "Path"),
                            reader.get<uint64_t>(file, "Bytes"),
                            reader.get<std::string>(file, "XXH128")});
}

void readStages(Reader& reader, const Json& stages, RunRecord& record) {
  if (!stages.is_array()) return reader.fail("\"Stages\" is not a list");
  for (const Json& stage : stages)
    record.stages.push_back({reader.get<std::string>(stage, "Name"),
                             reader.get<double>(stage, "Seconds")});
}

void readBody(Reader& reader, RunRecord& record) {
  const Json& json = reader.json();
  record.command = reader.get<std::string>(json, "Command");
  record.cohortixVersion = reader.get<std::string>(reader.at(json, "Cohortix"), "Version");
  const Json& plugin = reader.at(json, "Plugin");
  record.pluginName = reader.get<std::string>(plugin, "Name");
  record.pluginVersion = reader.get<std::string>(plugin, "Version");
  record.pluginPath = reader.get<std::string>(plugin, "Path");
  record.pluginChecksum = reader.get<std::string>(plugin, "XXH128");
  readCommandLine(reader, reader.at(json, "CommandLine"), record);
  record.workingDirectory = reader.get<std::string>(json, "WorkingDirectory");
  if (const Json& control = reader.at(json, "ControlFile"); !control.is_null())
    record.controlFile = reader.text(control);
  for (const Json& profile : reader.at(json, "Profiles")) record.profiles.push_back(reader.text(profile));
  if (const Json& seed = reader.at(reader.at(json, "Seeds"), "Noise"); !seed.is_null())
    record.noiseSeed = reader.get<uint64_t>(json.at("Seeds"), "Noise");
  record.replicate = reader.get<int32_t>(json, "Replicate");
  record.platform = reader.pairs(reader.at(json, "Platform"));
  record.started = reader.get<std::string>(json, "Started");
  if (!reader.at(json, "Ended").is_null()) record.ended = reader.get<std::string>(json, "Ended");
  readStages(reader, reader.at(json, "Stages"), record);
  if (!reader.at(json, "ExitStatus").is_null()) record.exitStatus = reader.get<int>(json, "ExitStatus");
  record.outputs = reader.pairs(reader.at(json, "Outputs"));
  readFiles(reader, reader.at(json, "Files"), record);
}

}  // namespace

const RecordedOption* RunRecord::option(const std::string& name) const {
  for (const RecordedOption& entry : options)
    if (entry.name == name) return &entry;
  return nullptr;
}

std::string RunRecord::outputFolder(const std::string& name) const {
  for (const auto& [output, folder] : outputs)
    if (output == name) return folder;
  return {};
}

std::string RunRecord::commandLineText() const {
  std::string line;
  for (const std::string& argument : arguments) line += (line.empty() ? "" : " ") + shellWord(argument);
  return line;
}

std::string runRecordJson(const RunRecord& record) {
  Json json;
  json["CohortixRunRecord"] = record.schema;
  json["Command"] = record.command;
  json["Cohortix"] = {{"Version", record.cohortixVersion}};
  json["Plugin"] = {{"Name", record.pluginName}, {"Version", record.pluginVersion},
                    {"Path", record.pluginPath}, {"XXH128", record.pluginChecksum}};
  json["CommandLine"] = commandLineJson(record);
  json["WorkingDirectory"] = record.workingDirectory;
  json["ControlFile"] = record.controlFile ? textJson(*record.controlFile) : Json(nullptr);
  json["Profiles"] = Json::array();
  for (const RecordedText& profile : record.profiles) json["Profiles"].push_back(textJson(profile));
  json["Seeds"] = {{"Noise", record.noiseSeed ? Json(*record.noiseSeed) : Json(nullptr)}};
  json["Replicate"] = record.replicate;
  json["Platform"] = pairsJson(record.platform);
  json["Started"] = record.started;
  json["Ended"] = record.ended.empty() ? Json(nullptr) : Json(record.ended);
  json["Stages"] = Json::array();
  for (const RecordedStage& stage : record.stages)
    json["Stages"].push_back({{"Name", stage.name}, {"Seconds", stage.seconds}});
  json["ExitStatus"] = record.exitStatus ? Json(*record.exitStatus) : Json(nullptr);
  json["Outputs"] = pairsJson(record.outputs);
  json["Files"] = filesJson(record.files);
  // A path or argument that is not UTF-8 is written with U+FFFD in place of its
  // stray bytes rather than not at all.
  return json.dump(2, ' ', false, Json::error_handler_t::replace) + "\n";
}

Result<RunRecord> parseRunRecord(const std::string& text) {
  Result<Json> json = parseJsonText(text, runRecordLimits());
  if (!json) return json.status();
  return runRecordOf(json.value());
}

const JsonLimits& runRecordLimits() {
  // A record lists every file of its run with its checksum (some 150 bytes each)
  // beside copies of the control file and profiles: a few megabytes for the
  // largest studies.
  static const JsonLimits limits{"run record", uint64_t{256} << 20, 64};
  return limits;
}

Result<RunRecord> runRecordOf(const JsonValue& json) {
  if (!json.is_object() || !json.contains("CohortixRunRecord"))
    return Status::error("not a run record of Cohortix (no \"CohortixRunRecord\")");
  if (!fitsIn<int>(json["CohortixRunRecord"]))
    return Status::error("\"CohortixRunRecord\" is not a schema number");
  const int schema = json["CohortixRunRecord"].get<int>();
  if (schema < 1 || schema > kRunRecordSchema)
    return Status::error("a run record of schema " + std::to_string(schema) +
                         ", which this version (" + std::to_string(kRunRecordSchema) +
                         ") cannot read");
  RunRecord record;
  record.schema = schema;
  Reader reader(json);
  readBody(reader, record);
  if (!reader.problem().empty()) return Status::error("not a run record: " + reader.problem());
  return record;
}

}  // namespace cohortix::host::record
