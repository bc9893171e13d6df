#include "host/sweep/design_job.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cinttypes>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <memory>
#include <sstream>

#include "control/control_file_reader.h"
#include "host/io/file_descriptors.h"
#include "host/record/run_recorder.h"
#include "host/sweep/manifest.h"

namespace cohortix::host::sweep {
namespace {

constexpr char kComplete[] = "complete";
constexpr char kFailed[] = "failed";

std::filesystem::path folderOf(const std::filesystem::path& plan, const std::string& id) {
  return plan / jobFolder(id);
}

// What a power design must leave in its output folder: a block of the replicates
// its part of the table, any other its power table; empty for other commands.
std::string powerOutputOf(const PlannedDesign& design) {
  const std::vector<std::string>& words = design.command;
  if (words.size() < 2 || words[1] != "power") return {};
  const bool block = std::find(words.begin(), words.end(), "--replicate-block") != words.end();
  return block ? "power-part.json" : "power.tsv";
}

bool interrupted(int waitStatus) {
  const int code = exitCodeOf(waitStatus);
  return code == 128 + SIGINT || code == 128 + SIGTERM;
}

}  // namespace

std::string summaryText(const DesignSummary& s) {
  char seconds[32];
  std::snprintf(seconds, sizeof seconds, "%.3f", s.seconds);
  std::string text = "exit_status\t" + std::to_string(s.exitStatus) + "\nsubjects\t" +
                     std::to_string(s.subjects) + "\nfiles\t" + std::to_string(s.files) +
                     "\nbytes\t" + std::to_string(s.bytes) + "\nseconds\t" + seconds + "\n";
  if (!s.command.empty()) text += "command\t" + s.command + "\n";
  return text;
}

Result<DesignSummary> parseSummary(const std::string& text, const std::string& name) {
  DesignSummary summary;
  std::istringstream lines(text);
  std::string key;
  int found = 0;
  while (lines >> key) {
    if (key == "command") {
      // The rest of the line: the command as run, its words quoted for a shell.
      std::getline(lines >> std::ws, summary.command);
      continue;
    }
    if (key == "exit_status")
      lines >> summary.exitStatus;
    else if (key == "subjects")
      lines >> summary.subjects;
    else if (key == "files")
      lines >> summary.files;
    else if (key == "bytes")
      lines >> summary.bytes;
    else if (key == "seconds")
      lines >> summary.seconds;
    else
      return Status::error(name + ": expected a design summary, found \"" + key + "\"");
    if (!lines) return Status::error(name + ": expected a number after " + key);
    ++found;
  }
  if (found != 5) return Status::error(name + ": expected a design summary of five fields");
  return summary;
}

DesignState designState(const std::filesystem::path& plan, const std::string& id) {
  std::error_code error;
  if (std::filesystem::exists(folderOf(plan, id) / kComplete, error)) return DesignState::Complete;
  if (std::filesystem::exists(folderOf(plan, id) / kFailed, error)) return DesignState::Failed;
  return DesignState::Pending;
}

Result<DesignSummary> readSummary(const std::filesystem::path& plan, const std::string& id,
                                  DesignState state) {
  const std::filesystem::path path =
      folderOf(plan, id) / (state == DesignState::Complete ? kComplete : kFailed);
  std::ifstream file(path, std::ios::binary);
  if (!file) return Status::error("cannot read " + path.string());
  return parseSummary(std::string(std::istreambuf_iterator<char>(file), {}), path.string());
}

std::filesystem::path logPath(const std::filesystem::path& plan, const std::string& id) {
  return folderOf(plan, id) / "log.txt";
}

DesignJob::DesignJob(std::filesystem::path plan, PlannedDesign design,
                     std::filesystem::path executable, std::string plugin, DiskInterface& disk)
    : plan_(std::move(plan)),
      design_(std::move(design)),
      executable_(std::move(executable)),
      plugin_(std::move(plugin)),
      disk_(disk) {}

DesignJob::~DesignJob() {
  if (lock_ >= 0) ::close(lock_);
}

Result<JobStart> DesignJob::start(bool retryFailed, const SignalWaiter& waiter) {
  const std::filesystem::path folder = folderOf(plan_, design_.id);
  if (designState(plan_, design_.id) == DesignState::Complete) return JobStart::AlreadyComplete;
  if (Status made = disk_.makeDirs(folder); !made)
    return made.context("cannot create " + folder.string());
  // Whoever holds the lock runs the design; it goes with the process, however
  // that ends.
  lock_ = openFile(folder / "lock", O_RDWR | O_CREAT, 0666);
  if (lock_ < 0) return Status::fromErrno(errno).context("cannot lock " + folder.string());
  if (::flock(lock_, LOCK_EX | LOCK_NB) != 0) {
    if (errno == EWOULDBLOCK) return JobStart::Busy;
    return Status::fromErrno(errno).context("cannot lock " + folder.string());
  }
  // Another process may have finished it while we waited for nothing.
  const DesignState state = designState(plan_, design_.id);
  if (state == DesignState::Complete) return JobStart::AlreadyComplete;
  if (state == DesignState::Failed && !retryFailed) return JobStart::FailedEarlier;
  // What an earlier, interrupted or failed attempt left goes: a design runs whole.
  std::error_code error;
  std::filesystem::remove(folder / kFailed, error);
  std::filesystem::remove_all(folder / "output", error);
  if (error) return Status::fromErrno(error.value()).context("cannot clear " + folder.string());
  std::filesystem::remove(logPath(plan_, design_.id), error);
  std::vector<std::string> argv = design_.command;
  argv[0] = executable_.string();
  if (!plugin_.empty()) argv.insert(argv.begin() + 1, {"--plugin", plugin_});
  started_ = std::chrono::steady_clock::now();
  Result<pid_t> pid = startChild(argv, plan_, logPath(plan_, design_.id), waiter);
  if (!pid) return pid.status();
  pid_ = pid.value();
  return JobStart::Started;
}

Result<DesignSummary> DesignJob::summarise(int waitStatus) const {
  DesignSummary summary;
  summary.exitStatus = exitCodeOf(waitStatus);
  for (const std::string& word : design_.command)
    summary.command += (summary.command.empty() ? "" : " ") + shellQuoted(word);
  summary.seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - started_).count();
  auto study = std::make_unique<SimulationDesign>();  // far too large for the stack
  std::string message;
  if (parseControlFile((plan_ / designFile(design_.id)).c_str(), *study, message))
    summary.subjects = study->NrOfSubjects;
  const std::filesystem::path output = folderOf(plan_, design_.id) / "output";
  std::error_code error;
  if (!std::filesystem::exists(output, error)) return summary;
  for (auto it = std::filesystem::recursive_directory_iterator(output, error);
       !error && it != std::filesystem::recursive_directory_iterator(); it.increment(error)) {
    // The run's record says how the files were made and when: it is no file of the
    // design's, and its size varies with its times.
    if (!it->is_regular_file(error) || it->path().filename() == record::kRunRecordName) continue;
    ++summary.files;
    summary.bytes += static_cast<long long>(it->file_size(error));
  }
  if (error) return Status::fromErrno(error.value()).context("cannot list " + output.string());
  return summary;
}

Result<DesignState> DesignJob::finish(int waitStatus) {
  pid_ = 0;
  if (interrupted(waitStatus)) return DesignState::Pending;
  Result<DesignSummary> summary = summarise(waitStatus);
  if (!summary) return summary.status();
  const std::filesystem::path folder = folderOf(plan_, design_.id);
  DesignState state = summary->exitStatus == 0 ? DesignState::Complete : DesignState::Failed;
  const std::string expected = powerOutputOf(design_);
  const std::filesystem::path table = folder / "output" / expected;
  std::error_code error;
  if (state == DesignState::Complete && !expected.empty() && !std::filesystem::exists(table, error)) {
    // A power analysis that wrote no table has not done what the sweep needs.
    std::ofstream(logPath(plan_, design_.id), std::ios::app)
        << "cohortix sweep: the command ended without writing " << table.string() << '\n';
    state = DesignState::Failed;
    summary->exitStatus = 1;
  }
  const std::string text = summaryText(summary.value());
  const std::array<std::string_view, 1> parts = {text};
  const std::filesystem::path marker =
      folder / (state == DesignState::Complete ? kComplete : kFailed);
  if (Status written = disk_.writeFile(marker, parts); !written)
    return written.context("cannot write " + marker.string());
  return state;
}

}  // namespace cohortix::host::sweep
