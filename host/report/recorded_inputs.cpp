#include "host/report/recorded_inputs.h"

#include "host/record/run_recorder.h"

namespace cohortix::host {
namespace {

void fillFrom(const record::RunRecord& record, ReportInputs& inputs) {
  inputs.recorded = true;
  if (inputs.commandLine.empty()) inputs.commandLine = record.commandLineText();
  if (!inputs.noiseProfile && !record.profiles.empty())
    inputs.noiseProfile = std::filesystem::path(record.profiles.front().path).filename().string();
  if (!inputs.seed && record.noiseSeed) inputs.seed = static_cast<int64_t>(*record.noiseSeed);
  if (!inputs.replicate) inputs.replicate = record.replicate;
  inputs.madeBy = "Cohortix " + record.cohortixVersion + ", plug-in " + record.pluginName + " " +
                  record.pluginVersion + " (XXH3-128 " + record.pluginChecksum.substr(0, 16) + "...)";
  // A run's own --report reads the record written before the plug-in started.
  inputs.ranAt = record.started + (record.ended.empty() ? " (the run was still under way)"
                                                          : " to " + record.ended);
}

}  // namespace

Status takeRunRecord(ReportInputs& inputs, std::optional<record::RestoredCopy>& control,
                     DiskInterface& disk) {
  const std::filesystem::path path = record::findRunRecord(inputs.runFolder);
  if (path.empty()) return Status::ok();
  Result<record::RunRecord> read = record::readRunRecord(path, disk);
  const bool needed = inputs.controlFile.empty() && !std::filesystem::exists(
                                                       inputs.runFolder / "dataset_description.json");
  // A record that is there is read whole or the report refused: a damaged one is
  // no source of what the page says of the run.
  if (!read) return read.status();
  fillFrom(read.value(), inputs);
  if (!needed || !read->controlFile) return Status::ok();
  Result<record::RestoredCopy> restored = record::RestoredCopy::of(*read->controlFile, read.value());
  if (!restored) return restored.status();
  control.emplace(std::move(restored).value());
  inputs.controlFile = control->path();
  inputs.controlShown = read->controlFile->path + " (as kept in the run's record)";
  return Status::ok();
}

}  // namespace cohortix::host
