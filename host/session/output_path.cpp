#include "host/session/output_path.h"

#include <algorithm>
#include <new>
#include <system_error>

#include "host/io/disk_interface.h"
#include "host/session/output_files.h"

namespace cohortix::host {

OutputPath::OutputPath(OutputFiles& files, SubjectSink& writer, SubjectSink& progress,
                       std::optional<std::vector<RunSubject>> runOrder, double repetitionTime)
    : files_(files),
      sinks_{&writer, &progress},
      runOrder_(std::move(runOrder)),
      repetitionTime_(repetitionTime) {}

OutputPath::~OutputPath() {
  if (thread_.joinable()) thread_.join();
}

void OutputPath::addSink(SubjectSink& sink) { sinks_.insert(sinks_.end() - 1, &sink); }

Result<SelectedFile> OutputPath::selected(const std::string& name) const {
  if (selection_ == nullptr) return SelectedFile{true, name};
  return selection_->file(name);
}

void OutputPath::protocolSaved(const std::string& name, const ProtocolDocument& protocol,
                               bool written) {
  names_.protocol = name;
  protocol_ = protocol;
  unsavedProtocol_ = written ? "" : name;
}

void OutputPath::designMatrixSaved(const std::string& name, const DesignMatrix& matrix) {
  names_.designMatrix = name;
  matrix_ = matrix;
}

std::unique_ptr<SavedSubject> OutputPath::nextSubject(const std::string& vtcName,
                                                      const VTCDocument& vtc,
                                                      const ProtocolDocument& protocol,
                                                      const DesignMatrix& matrix,
                                                      std::shared_ptr<SubjectComponents> components) {
  auto subject = std::make_unique<SavedSubject>();
  subject->files = names_;
  subject->files.vtc = vtcName;
  if (runOrder_) identify(*subject, *runOrder_, subjectsSaved_);
  subject->protocolSaved = unsavedProtocol_.empty();
  subject->protocol = protocol_ ? std::move(*protocol_) : protocol;
  subject->designMatrix = matrix_ ? std::move(*matrix_) : matrix;
  subject->header = vtc.header();
  subject->dims = vtc.dims();
  subject->nrOfVolumes = vtc.nrOfVolumes();
  subject->repetitionTime = repetitionTime_;
  if (components != nullptr) {
    components->groupNumber = subject->groupNumber;
    components->subjectNumber = subject->subjectNumber;
    components->cellNames = cellNamesOf(subject->designMatrix);
    subject->components = std::move(components);
  }
  return subject;
}

void OutputPath::forgetSubject() {
  names_ = {};
  protocol_.reset();
  matrix_.reset();
  unsavedProtocol_.clear();
}

Status OutputPath::subjectSaved(const std::string& savedName, const VTCDocument& vtc,
                                const ProtocolDocument& protocol, const DesignMatrix& matrix,
                                std::shared_ptr<SubjectComponents> components) {
  collect();
  for (SubjectWitness* witness : witnesses_)
    witness->pluginSaved(savedName, matrix_ ? *matrix_ : matrix, vtc.header(),
                         {vtc.data(), vtc.valueCount()}, components);
  // A subject the selection skips is not even staged: nothing of it goes out.
  const Result<SelectedFile> target = selected(savedName);
  if (!target || !target.value().kept) {
    forgetSubject();
    return target.status();
  }
  const std::string& vtcName = target.value().name;
  std::unique_ptr<SavedSubject> subject;
  Status staged;
  try {
    subject = nextSubject(vtcName, vtc, protocol, matrix, std::move(components));
    staging_.resize(vtc.valueCount());
  } catch (const std::bad_alloc&) {
    staged = Status::error("not enough memory to stage its data");
  }
  // Staged or not, the subject has had its turn: the next save is the next subject.
  forgetSubject();
  ++subjectsSaved_;
  if (!staged) return staged;
  std::copy(vtc.data(), vtc.data() + vtc.valueCount(), staging_.begin());
  subject->data = staging_;
  inFlight_ = std::move(subject);
  try {
    thread_ = std::thread([this] { dispatch(); });
  } catch (const std::system_error&) {
    dispatch();  // no thread to be had: the subject goes out here and now
  }
  return Status::ok();
}

void OutputPath::dispatch() {
  SavedSubject& subject = *inFlight_;
  try {
    for (SubjectDataStage* stage : stages_) stage->prepare(subject, staging_);
  } catch (const std::exception& error) {
    // Data a stage could not finish go into no file; the progress line still
    // counts the subject.
    const std::string& vtc = subject.files.vtc;
    outcomes_.notWritten(vtc, Status::error(error.what()).context("cannot write " + vtc));
    sinks_.back()->subjectSaved(subject, outcomes_);
    return;
  }
  passSinks(subject);
}

// One sink's turn with the subject; what it could not finish counts as not written.
void OutputPath::passSink(SubjectSink& sink, const SavedSubject& subject,
                          SubjectOutcomes& outcomes) {
  try {
    sink.subjectSaved(subject, outcomes);
  } catch (const std::exception& error) {
    const std::string what = "the outputs of " + subject.files.vtc;
    outcomes.notWritten(what, Status::error(error.what()).context("cannot finish " + what));
  }
}

// The sinks before the progress line take the subject side by side, each on a
// thread of its own: one waits on the disk while another computes, and a run with
// exports or the truth is bound by the slowest sink rather than by their sum. What
// they wrote is gathered in their order, so the reports read the same however the
// threads ran, and the progress line takes the subject last.
void OutputPath::passSinks(const SavedSubject& subject) {
  const std::size_t beside = sinks_.size() - 1;
  std::vector<SubjectOutcomes> outcomes(beside);
  std::vector<std::thread> threads;
  for (std::size_t s = 1; s < beside; ++s) {
    try {
      threads.emplace_back([&, s] { passSink(*sinks_[s], subject, outcomes[s]); });
    } catch (const std::system_error&) {
      passSink(*sinks_[s], subject, outcomes[s]);  // no thread to be had: its turn is now
    }
  }
  if (beside > 0) passSink(*sinks_[0], subject, outcomes[0]);
  for (std::thread& thread : threads) thread.join();
  for (SubjectOutcomes& each : outcomes) outcomes_.append(std::move(each));
  passSink(*sinks_.back(), subject, outcomes_);
}

void OutputPath::collect() {
  if (thread_.joinable()) thread_.join();
  inFlight_.reset();
  files_.take(outcomes_);
  outcomes_ = {};
}

void OutputPath::finishEverySink(void (SubjectSink::*step)(SubjectOutcomes&), const char* what,
                                 const char* failure) {
  // A sink that throws is counted as not written; the others still finish.
  for (SubjectSink* sink : sinks_) {
    try {
      (sink->*step)(outcomes_);
    } catch (const std::exception& error) {
      outcomes_.notWritten(what, Status::error(error.what()).context(failure));
    }
  }
}

void OutputPath::finish() {
  collect();
  if (finished_) return;
  finished_ = true;
  finishEverySink(&SubjectSink::finishSubjects, "the run's last subjects",
                  "cannot finish the run's subjects");
  finishEverySink(&SubjectSink::runFinished, "the run's last outputs",
                  "cannot finish the run's outputs");
  // Files whose last steps were taken behind their writers: done only now.
  for (Status& failed : files_.disk().settle()) {
    std::string name = files_.nameOf(failed.file());
    Status why = std::move(failed).context("cannot write " + name);
    outcomes_.notWritten(std::move(name), std::move(why));
  }
  files_.take(outcomes_);
  outcomes_ = {};
}

}  // namespace cohortix::host
