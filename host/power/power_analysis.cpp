#include "host/power/power_analysis.h"

#include <cstdlib>
#include <ostream>
#include <streambuf>

#include "host/loader/plugin_run.h"
#include "host/power/discarding_disk.h"
#include "host/power/region_truth.h"
#include "host/power/replicated_study.h"
#include "host/session/host_session.h"

namespace cohortix::host {
namespace {

// The plug-in's log lines would bury the table: a stream that drops them.
class NullBuffer : public std::streambuf {
 protected:
  int overflow(int c) override { return traits_type::not_eof(c); }
  std::streamsize xsputn(const char* /*s*/, std::streamsize n) override { return n; }
};

// A fresh folder only this process can use, removed when the analysis ends.
class PrivateFolder {
 public:
  static Result<PrivateFolder> make() {
    std::string pattern = (std::filesystem::temp_directory_path() / "cohortix-power-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr)
      return Status::fromErrno(errno).context("cannot make a temporary folder");
    return PrivateFolder(pattern);
  }
  PrivateFolder(PrivateFolder&& other) noexcept : path_(std::move(other.path_)) { other.path_.clear(); }
  PrivateFolder(const PrivateFolder&) = delete;
  PrivateFolder& operator=(const PrivateFolder&) = delete;
  PrivateFolder& operator=(PrivateFolder&&) = delete;
  ~PrivateFolder() {
    std::error_code ignored;
    if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
  }
  const std::filesystem::path& path() const { return path_; }

 private:
  explicit PrivateFolder(std::filesystem::path path) : path_(std::move(path)) {}
  std::filesystem::path path_;
};

Status runFailure(const PluginRunResult& result, const HostSession& session) {
  std::string why;
  switch (result.outcome) {
    case PluginRunOutcome::Completed: return Status::ok();
    case PluginRunOutcome::Failed: why = "the simulation failed"; break;
    case PluginRunOutcome::Refused: why = "the plug-in refused to start"; break;
    case PluginRunOutcome::Unavailable: why = "the plug-in could not be loaded: " + result.error; break;
  }
  if (!session.messagesShown().empty()) why += " (" + session.messagesShown().back() + ")";
  return Status::error(why);
}

Status runSampleSize(const PowerOptions& options, int32_t subjects, std::ostream& messages,
                     PowerResult& result) {
  Result<PrivateFolder> folder = PrivateFolder::make();
  if (!folder) return folder.status();
  RealDiskInterface disk;
  Result<ReplicatedStudy> study =
      replicateStudy(options.controlFile, subjects, options.replicates, folder->path(), disk);
  if (!study) return study.status();
  const SimulationDesign& design = *study->design;
  const AskedRegions truth(design, subjects);
  PowerSink sink(design, truth, subjects, options.replicates, options.analysis);
  SessionOptions session;
  session.controlFile = study->controlFile;
  session.outputDir = folder->path() / "output";
  session.repetitionTime = options.repetitionTime;
  session.showProgress = options.showProgress;
  session.study = runOrderOf(design);
  NullBuffer dropped;
  std::ostream log(&dropped);
  DiscardingDisk nowhere;
  HostSession host(session, log, messages, nowhere);
  host.output().addSink(sink);
  const PluginRunResult run = runPlugin(options.plugin, host);
  host.finish();
  if (Status failed = runFailure(run, host); !failed) return failed;
  if (!sink.status()) return sink.status();
  if (sink.replicatesScored() != options.replicates)
    return Status::error("the run ended after " + std::to_string(sink.replicatesScored()) + " of " +
                         std::to_string(options.replicates) + " replicates");
  for (PowerRow& row : sink.rows()) result.rows.push_back(std::move(row));
  result.subjectsAnalysed += int64_t{subjects} * options.replicates * design.NrOfGroups;
  return Status::ok();
}

}  // namespace

Result<PowerResult> runPowerAnalysis(const PowerOptions& options, std::ostream& messages) {
  PowerResult result;
  for (int32_t subjects : options.sampleSizes)
    if (Status done = runSampleSize(options, subjects, messages, result); !done)
      return std::move(done).context(std::to_string(subjects) + " subjects per group");
  return result;
}

}  // namespace cohortix::host
