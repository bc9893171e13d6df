#include "host/sweep/local_runner.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include <ostream>

#include "host/sweep/child_process.h"
#include "host/sweep/design_job.h"

namespace cohortix::host::sweep {
namespace {

using Clock = std::chrono::steady_clock;

std::string clock(double seconds) {
  const long total = static_cast<long>(seconds + 0.5);
  char text[32];
  if (total >= 3600)
    std::snprintf(text, sizeof text, "%ld:%02ld:%02ld", total / 3600, total / 60 % 60, total % 60);
  else
    std::snprintf(text, sizeof text, "%ld:%02ld", total / 60, total % 60);
  return text;
}

class LocalRun {
 public:
  LocalRun(const std::filesystem::path& folder, const LocalRunOptions& options,
           std::ostream& messages, DiskInterface& disk)
      : folder_(folder), options_(options), messages_(messages), disk_(disk) {}

  Result<LocalRunReport> run(const std::vector<const PlannedDesign*>& designs);

 private:
  Status startNext();
  Status reap();
  void say(const std::string& line);
  void showProgress();
  std::string logOf(const PlannedDesign& design) const {
    return logPath(folder_, design.id).string();
  }

  const std::filesystem::path& folder_;
  const LocalRunOptions& options_;
  std::ostream& messages_;
  DiskInterface& disk_;
  SignalWaiter waiter_;
  std::vector<const PlannedDesign*> queue_;
  std::vector<std::unique_ptr<DesignJob>> running_;
  LocalRunReport report_;
  int finishedNow_ = 0;
  Clock::time_point started_ = Clock::now();
  bool progressShown_ = false;
};

void LocalRun::say(const std::string& line) {
  if (progressShown_) messages_ << "\r\033[K";
  messages_ << line << '\n';
  progressShown_ = false;
}

void LocalRun::showProgress() {
  if (!options_.progress) return;
  const double elapsed = std::chrono::duration<double>(Clock::now() - started_).count();
  std::string line = "sweep: " + std::to_string(report_.complete) + "/" +
                     std::to_string(report_.designs) + " complete";
  if (report_.failed > 0) line += ", " + std::to_string(report_.failed) + " failed";
  line += ", " + std::to_string(running_.size()) + " running, " + clock(elapsed) + " elapsed";
  const std::size_t left = queue_.size() + running_.size();
  // Designs finished so far in this run set the pace, the parallel ones included.
  if (finishedNow_ > 0 && left > 0)
    line += ", about " + clock(elapsed / finishedNow_ * double(left)) + " left";
  messages_ << "\r\033[K" << line << std::flush;
  progressShown_ = true;
}

Status LocalRun::startNext() {
  auto job = std::make_unique<DesignJob>(folder_, *queue_.front(), options_.executable,
                                         options_.plugin, disk_);
  queue_.erase(queue_.begin());
  Result<JobStart> started = job->start(options_.retryFailed, waiter_);
  if (!started) return started.status().context("design " + job->design().id);
  switch (started.value()) {
    case JobStart::Started: running_.push_back(std::move(job)); break;
    case JobStart::AlreadyComplete:
      ++report_.complete;
      if (options_.reportSkipped) say("design " + job->design().id + " is complete already");
      break;
    case JobStart::FailedEarlier:
      ++report_.failed;
      say("design " + job->design().id + " failed earlier: " + logOf(job->design()) +
          " (--retry-failed runs it again)");
      break;
    case JobStart::Busy:
      ++report_.busy;
      say("design " + job->design().id + " is being run by another process");
      break;
  }
  return Status::ok();
}

Status LocalRun::reap() {
  for (EndedChild ended = reapChild(); ended.pid != 0; ended = reapChild()) {
    const auto job = std::find_if(running_.begin(), running_.end(),
                                  [&](const auto& j) { return j->pid() == ended.pid; });
    if (job == running_.end()) continue;
    const std::unique_ptr<DesignJob> done = std::move(*job);
    running_.erase(job);
    Result<DesignState> state = done->finish(ended.status);
    if (!state) return state.status().context("design " + done->design().id);
    const std::string id = done->design().id;
    if (state.value() == DesignState::Complete) {
      ++report_.complete;
      ++finishedNow_;
      if (!options_.progress) say("design " + id + " complete");
    } else if (state.value() == DesignState::Failed) {
      ++report_.failed;
      ++finishedNow_;
      say("design " + id + " failed with exit status " + std::to_string(exitCodeOf(ended.status)) +
          ": " + logOf(done->design()));
    } else {
      ++report_.pending;
      say("design " + id + " was interrupted; it runs again next time");
    }
  }
  return Status::ok();
}

Result<LocalRunReport> LocalRun::run(const std::vector<const PlannedDesign*>& designs) {
  report_.designs = static_cast<int>(designs.size());
  queue_ = designs;
  Status failure;
  for (;;) {
    while (running_.size() < std::size_t(std::max(1, options_.jobs)) && !queue_.empty() &&
           failure.isOk() && waiter_.stopSignal() == 0)
      failure = startNext();
    showProgress();
    if (running_.empty()) break;  // all started and ended, or stopped
    if (const int signal = waiter_.wait(std::chrono::milliseconds(500)); signal != 0)
      for (const auto& job : running_) ::kill(job->pid(), signal);
    if (Status reaped = reap(); !reaped && failure.isOk()) failure = reaped;
  }
  if (progressShown_) messages_ << "\r\033[K" << std::flush;
  if (!failure) return failure;
  report_.pending += static_cast<int>(queue_.size());
  report_.stopSignal = waiter_.stopSignal();
  return report_;
}

}  // namespace

Result<LocalRunReport> runDesigns(const std::filesystem::path& folder, const Plan& plan,
                                  const std::vector<const PlannedDesign*>& only,
                                  const LocalRunOptions& options, std::ostream& messages,
                                  DiskInterface& disk) {
  std::vector<const PlannedDesign*> designs = only;
  if (designs.empty())
    for (const PlannedDesign& design : plan.designs) designs.push_back(&design);
  return LocalRun(folder, options, messages, disk).run(designs);
}

}  // namespace cohortix::host::sweep
