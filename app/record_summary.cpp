#include "app/record_summary.h"

#include <cstdio>

namespace cohortix::app {
namespace {

std::string secondsText(double seconds) {
  char text[32];
  std::snprintf(text, sizeof text, "%.2f s", seconds);
  return text;
}

std::string copiesText(const host::record::RunRecord& record) {
  std::string text;
  if (record.controlFile)
    text += "Control file: " + record.controlFile->path + " (copy kept, XXH3-128 " +
            record.controlFile->checksum + ")\n";
  for (const host::record::RecordedText& profile : record.profiles)
    text += "Profile (" + profile.option + "): " + profile.path + " (copy kept, XXH3-128 " +
            profile.checksum + ")\n";
  return text;
}

std::string optionsText(const host::record::RunRecord& record) {
  std::string text = "Options, as resolved (* given):\n";
  for (const host::record::RecordedOption& option : record.options) {
    std::string value = option.flag ? (option.on ? "on" : "off") : "";
    for (const std::string& each : option.values) value += (value.empty() ? "" : ", ") + each;
    text += "  " + std::string(option.given ? "* " : "  ") + option.name + " = " +
            (value.empty() ? "(none)" : value) + "\n";
  }
  return text;
}

std::string filesText(const host::record::RunRecord& record) {
  uint64_t bytes = 0;
  for (const host::record::RecordedFile& file : record.files) bytes += file.bytes;
  std::string text = "Outputs:";
  for (const auto& [output, folder] : record.outputs) text += " " + output + " " + folder + ";";
  text += "\nFiles: " + std::to_string(record.files.size()) + ", " + std::to_string(bytes) +
          " bytes\n";
  for (const host::record::RecordedFile& file : record.files)
    text += "  " + file.checksum + "  " + std::to_string(file.bytes) + "  " + file.output + "/" +
            file.path + "\n";
  return text;
}

}  // namespace

std::string runRecordSummary(const std::string& name, const host::record::RunRecord& record) {
  std::string text = name + ": the record of `cohortix " + record.command + "` (schema " +
                     std::to_string(record.schema) + ")\n";
  text += "Made by: Cohortix " + record.cohortixVersion + ", plug-in " + record.pluginName + " " +
          record.pluginVersion + " (" + record.pluginPath + ", XXH3-128 " + record.pluginChecksum +
          ")\n";
  text += "Command line: " + record.commandLineText() + "\n";
  text += "In: " + record.workingDirectory + "\n";
  text += optionsText(record) + copiesText(record);
  text += "Seeds: noise " +
          (record.noiseSeed ? std::to_string(*record.noiseSeed) : std::string("none (no host noise)")) +
          "; replicate " + std::to_string(record.replicate) + "\n";
  text += "Platform:";
  for (const auto& [what, value] : record.platform) text += " " + what + " " + value + ";";
  text += "\nRan: " + record.started +
          (record.exitStatus ? " to " + record.ended + ", exit status " + std::to_string(*record.exitStatus)
                             : std::string(", did not finish")) +
          "\nStages:";
  for (const host::record::RecordedStage& stage : record.stages)
    text += " " + stage.name + " " + secondsText(stage.seconds) + ";";
  return text + "\n" + filesText(record);
}

}  // namespace cohortix::app
