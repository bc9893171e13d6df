#pragma once
// The run record: how a run was made, kept beside its outputs as one small JSON
// file (cohortix-run.json; docs/formats.md, "The run record"). It names the
// builds that ran, the command line as given and as resolved, copies of the
// control file and every profile, the seeds, the platform, the times, and every
// file written with its size and XXH3-128: enough to make the run again from the
// record alone and to check the result byte for byte.

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "host/io/json_input.h"
#include "host/io/status.h"

namespace cohortix::host::record {

// The schema's version; a reader refuses a record of a later one.
inline constexpr int kRunRecordSchema = 1;

// One option of the command as it was resolved: what was given, else its default.
struct RecordedOption {
  std::string name;                 // "--tr", or the positional's name ("control-file")
  std::vector<std::string> values;  // none: neither given nor defaulted
  bool flag = false;                // an option without a value
  bool on = false;                  // the flag's state
  bool given = false;               // on the command line, not a default
};

// A file the run read and kept a copy of: the control file, a profile.
struct RecordedText {
  std::string option;  // the option that named it ("control-file", "--noise")
  std::string path;    // as given
  std::string checksum;
  std::string text;
};

struct RecordedFile {
  std::string output;  // which output holds it: a key of RunRecord::outputs
  std::string path;    // relative to that output's folder, '/'-separated
  uint64_t bytes = 0;
  std::string checksum;
};

struct RecordedStage {
  std::string name;
  double seconds = 0.0;
};

struct RunRecord {
  int schema = kRunRecordSchema;
  std::string command;  // "run", "power"
  std::string cohortixVersion;
  std::string pluginName;
  std::string pluginVersion;
  std::string pluginPath;
  std::string pluginChecksum;
  std::vector<std::string> arguments;  // as given, the program's name first
  std::vector<RecordedOption> options;
  std::string workingDirectory;
  std::optional<RecordedText> controlFile;
  std::vector<RecordedText> profiles;
  std::optional<uint64_t> noiseSeed;  // none: no host noise
  int32_t replicate = 0;
  std::vector<std::pair<std::string, std::string>> platform;  // name, value
  std::string started;  // UTC, ISO 8601
  std::string ended;    // empty while the run is under way
  std::vector<RecordedStage> stages;
  std::optional<int> exitStatus;  // none while the run is under way
  std::vector<std::pair<std::string, std::string>> outputs;  // "native"/"bids"/..., folder
  std::vector<RecordedFile> files;

  const RecordedOption* option(const std::string& name) const;
  // The folder of an output as the run named it; empty when the run had none.
  std::string outputFolder(const std::string& name) const;
  // The command line as one line a shell takes back.
  std::string commandLineText() const;
};

std::string runRecordJson(const RunRecord& record);
// Refuses text that is not a record of this schema or an earlier one, naming what
// is wrong: JSON the checked reader refuses (host/io/json_input.h), or JSON that
// is no record.
Result<RunRecord> parseRunRecord(const std::string& text);
// What a record file may be: its largest size and nesting.
const JsonLimits& runRecordLimits();
// The record that parsed JSON holds.
Result<RunRecord> runRecordOf(const JsonValue& json);

}  // namespace cohortix::host::record
