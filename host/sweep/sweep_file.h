#pragma once
// The sweep file (TOML): the base control file, the command every design runs,
// host options every design gets, and the items and host options to vary with
// their values. The designs are every combination of the varied values.

#include <filesystem>
#include <string>
#include <vector>

#include "host/io/status.h"
#include "host/sweep/control_items.h"

namespace cohortix::host::sweep {

// One value of a varied item or host option.
struct SweepValue {
  std::string shown;                           // as the manifest shows it
  std::vector<std::vector<std::string>> rows;  // an item's words, row by row
  std::vector<std::string> arguments;          // a host option's arguments
};

// A control-file item (by its customary label) or a host option ("--tr").
struct SweepAxis {
  std::string name;
  const ControlItem* item = nullptr;  // null for a host option
  std::vector<SweepValue> values;
};

struct SweepDefinition {
  std::filesystem::path file;
  std::string text;  // the sweep file's bytes, kept with the plan
  ControlItems base;
  std::string command;               // "run", "check" or "power"
  std::vector<std::string> options;  // arguments every design gets
  std::vector<SweepAxis> axes;       // in the order of the file
};

// The commands a design can run.
bool isSweepCommand(const std::string& command);

// Reads the sweep file and its base control file. Messages read
// "sweep.toml:line: expected ..., found ...", or are the reader's own for a base
// file it refuses.
Result<SweepDefinition> readSweepFile(const std::filesystem::path& path);

}  // namespace cohortix::host::sweep
