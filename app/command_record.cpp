#include "app/command_record.h"

#include <memory>

#include <CLI/CLI.hpp>
#include <unistd.h>

#include <iostream>

#include "app/resume_check.h"
#include "host/io/disk_interface.h"
#include "host/loader/plugin_library.h"

namespace cohortix::app {
namespace {

host::record::RecordedOption resolved(const CLI::Option& option) {
  host::record::RecordedOption recorded;
  recorded.name = option.get_name();
  recorded.given = option.count() > 0;
  recorded.flag = option.get_expected_max() == 0;
  if (recorded.flag) {
    recorded.on = recorded.given;
    return recorded;
  }
  if (recorded.given) recorded.values = option.results();
  else if (!option.get_default_str().empty()) recorded.values = {option.get_default_str()};
  return recorded;
}

}  // namespace

host::record::RunRecord askedOf(const CLI::App& command, const GlobalOptions& global) {
  host::record::RunRecord asked;
  asked.command = command.get_name();
  asked.arguments = global.arguments;
  for (const CLI::Option* option : command.get_options())
    if (option != command.get_help_ptr()) asked.options.push_back(resolved(*option));
  return asked;
}

CommandRecord::CommandRecord(host::record::RunRecord asked, const host::PluginLibrary* plugin,
                             const std::string& pluginPath, const std::filesystem::path& control,
                             const std::filesystem::path& profile)
    : recorder_([&] {
        if (plugin != nullptr) {
          asked.pluginName = plugin->entryPoints().getPluginName();
          asked.pluginVersion = plugin->entryPoints().getPluginVersion();
        }
        return std::move(asked);
      }()),
      beginDisk_(std::make_unique<host::RealDiskInterface>()) {
  const host::record::RunRecord& record = recorder_.record();
  if (!control.empty())
    static_cast<void>(recorder_.keepControlFile("control-file", control));
  else if (const auto* named = record.option("control-file"); named && !named->values.empty())
    static_cast<void>(recorder_.keepControlFile(named->name, named->values.front()));
  if (!profile.empty())
    static_cast<void>(recorder_.keepProfile("--noise", profile));
  else if (const auto* noise = record.option("--noise"); noise && !noise->values.empty())
    static_cast<void>(recorder_.keepProfile(noise->name, noise->values.front()));
  static_cast<void>(recorder_.keepPlugin(pluginPath));
  if (const auto* report = record.option("--report"); report && !report->values.empty())
    recorder_.leaveOut(report->values.front());
}

namespace {

// The subject files an earlier run's record lists under `name` and the folder
// still holds (a resume checks their bytes before it writes anything).
std::vector<host::record::RecordedFile> keptFilesOf(const std::string& name, const std::filesystem::path& folder) {
  const std::filesystem::path path = host::record::findRunRecord(folder);
  if (path.empty()) return {};
  host::RealDiskInterface disk;
  host::Result<host::record::RunRecord> earlier = host::record::readRunRecord(path, disk);
  if (!earlier) return {};  // the resume's own check says why
  std::vector<host::record::RecordedFile> kept;
  for (const host::record::RecordedFile& file : earlier->files) {
    std::error_code error;
    if (file.output == name && isSubjectFile(file.path) && std::filesystem::is_regular_file(folder / file.path, error))
      kept.push_back(file);
  }
  return kept;
}

}  // namespace

void CommandRecord::addOutput(const std::string& name, const std::filesystem::path& folder,
                              bool found) {
  recorder_.addOutput(name, folder.string());
  if (!found) return;
  recorder_.includeFilesFound(name);
  recorder_.carryEarlierFiles(keptFilesOf(name, folder));
}

void CommandRecord::observe(host::RealDiskInterface& disk) { disk.observe(&recorder_.files()); }

void CommandRecord::setNoise(std::optional<uint64_t> seed, int32_t replicate) {
  recorder_.setNoise(seed, replicate);
}

void CommandRecord::begin() {
  // On a disk of its own, so that the run's count of files written is its files
  // alone; a record that cannot be written now is said at the end, when it is
  // tried again.
  static_cast<void>(host::record::writeRunRecord(recorder_.unfinished(), *beginDisk_));
}

void CommandRecord::stage(const std::string& name) {
  const std::lock_guard lock(mutex_);
  recorder_.stage(name);
}

void CommandRecord::snapshot() {
  const std::lock_guard lock(mutex_);
  static_cast<void>(host::record::writeRunRecord(recorder_.snapshot(), *beginDisk_));
}

void CommandRecord::abandonWrites() { beginDisk_->abandonWrites(); }

CommandRecord::~CommandRecord() = default;

ExitStatus CommandRecord::finish(ExitStatus status, host::RealDiskInterface& disk) {
  disk.observe(nullptr);
  if (status != ExitStatus::Success && status != ExitStatus::FilesNotWritten) return status;
  host::Result<host::record::RunRecord> record = recorder_.finish(toExitCode(status));
  host::Status written = record ? host::record::writeRunRecord(record.value(), disk)
                                : host::Status(record.status());
  if (written) return status;
  reportError(written.context("cannot keep the run's record").message());
  return ExitStatus::FilesNotWritten;
}

void RecordSnapshots::subjectSaved(const host::SavedSubject&, host::SubjectOutcomes&) {
  constexpr int32_t kEverySubjectUpTo = 32;
  const auto now = std::chrono::steady_clock::now();
  if (++saved_ > kEverySubjectUpTo && now - last_ < std::chrono::seconds(1)) return;
  last_ = now;
  record_.snapshot();
}

std::filesystem::path recordNamedBy(const std::string& argument) {
  const std::filesystem::path path = argument;
  std::error_code error;
  if (std::filesystem::is_directory(path, error)) return host::record::findRunRecord(path);
  return path.filename() == host::record::kRunRecordName ? path : std::filesystem::path();
}

void sayWhereFilesWent(const host::record::RunRecord& asked, const std::filesystem::path& folder,
                       bool quiet) {
  const host::record::RecordedOption* output = asked.option("--output");
  if (quiet || (output != nullptr && output->given) || ::isatty(STDERR_FILENO) != 1) return;
  std::error_code error;
  std::filesystem::path shown = std::filesystem::absolute(folder, error).lexically_normal();
  if (shown.filename().empty() && shown.has_parent_path()) shown = shown.parent_path();
  std::cerr << "cohortix: the files are in " << shown.string() << " (no -o given: the current folder)\n";
}

}  // namespace cohortix::app
