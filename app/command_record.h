#pragma once
// What a command's record says it was asked: the arguments as given and every
// option of the subcommand with its value, defaults included; and the record's
// keeping for a command that writes files (run, power).

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "app/command.h"
#include "app/exit_status.h"
#include "host/record/run_recorder.h"
#include "host/session/saved_subject.h"

namespace CLI {
class App;
}

namespace cohortix::host {
class PluginLibrary;
class RealDiskInterface;
}  // namespace cohortix::host

namespace cohortix::app {

// Called once the subcommand's options are parsed.
host::record::RunRecord askedOf(const CLI::App& command, const GlobalOptions& global);

// The record of one command in the making. It copies the control file and the
// profiles its options name (when they can be read: a file that cannot be is
// refused by the command itself), and checksums the plug-in.
class CommandRecord {
 public:
  // `control` and `profile`, when given, are the files the command read in place
  // of those its options name (a control file taken from a run's record).
  CommandRecord(host::record::RunRecord asked, const host::PluginLibrary* plugin,
                const std::string& pluginPath, const std::filesystem::path& control = {},
                const std::filesystem::path& profile = {});
  ~CommandRecord();
  CommandRecord(const CommandRecord&) = delete;
  CommandRecord& operator=(const CommandRecord&) = delete;

  // Where the command writes: "native", "bids", "power", with its folder. With
  // `found`, the files already in place there are listed too.
  void addOutput(const std::string& name, const std::filesystem::path& folder, bool found = false);
  void setNoise(std::optional<uint64_t> seed, int32_t replicate);
  // The disk's files from now on.
  void observe(host::RealDiskInterface& disk);
  void stage(const std::string& name);

  // Writes the record as it stands into the outputs there are, so that a run
  // stopped from here on leaves its record (without an end) for --resume.
  void begin();
  // Writes the record as it stands again, with the files in place so far; from
  // any thread.
  void snapshot();
  // A signal's stop: the record begin() may be writing is not left behind.
  void abandonWrites();
  // Writes the record when the command made files (status Success or
  // FilesNotWritten); a record that cannot be written makes the command one with
  // files not written.
  ExitStatus finish(ExitStatus status, host::RealDiskInterface& disk);

 private:
  std::mutex mutex_;  // the record's stages against its snapshots
  host::record::RunRecorder recorder_;
  // begin()'s own disk, so that the run's count of files written is its files alone.
  std::unique_ptr<host::RealDiskInterface> beginDisk_;
};

// Writes a run's record again as its subjects are saved, so that a run stopped
// part-way leaves the checksums of the subjects it finished: after each of the
// first subjects, then at most once a second.
class RecordSnapshots : public host::SubjectSink {
 public:
  explicit RecordSnapshots(CommandRecord& record) : record_(record) {}
  void subjectSaved(const host::SavedSubject& subject, host::SubjectOutcomes& outcomes) override;

 private:
  CommandRecord& record_;
  int32_t saved_ = 0;
  std::chrono::steady_clock::time_point last_{};
};

// The record an argument names: a record itself, or a run's folder that holds one;
// empty when it names neither.
std::filesystem::path recordNamedBy(const std::string& argument);

// One line on a terminal saying where a run's files went when -o was not given.
void sayWhereFilesWent(const host::record::RunRecord& asked, const std::filesystem::path& folder,
                       bool quiet);

}  // namespace cohortix::app
