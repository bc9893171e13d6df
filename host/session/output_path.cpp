#include "host/session/output_path.h"

#include <algorithm>
#include <new>
#include <system_error>

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
                                                      const DesignMatrix& matrix) {
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
  return subject;
}

Status OutputPath::subjectSaved(const std::string& vtcName, const VTCDocument& vtc,
                                const ProtocolDocument& protocol, const DesignMatrix& matrix) {
  collect();
  std::unique_ptr<SavedSubject> subject;
  Status staged;
  try {
    subject = nextSubject(vtcName, vtc, protocol, matrix);
    staging_.resize(vtc.valueCount());
  } catch (const std::bad_alloc&) {
    staged = Status::error("not enough memory to stage its data");
  }
  // Staged or not, the subject has had its turn: the next save is the next subject.
  names_ = {};
  protocol_.reset();
  matrix_.reset();
  unsavedProtocol_.clear();
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
  for (SubjectDataStage* stage : stages_) stage->prepare(subject, staging_);
  for (SubjectSink* sink : sinks_) {
    try {
      sink->subjectSaved(subject, outcomes_);
    } catch (const std::exception& error) {
      const std::string what = "the outputs of " + subject.files.vtc;
      outcomes_.notWritten(what, Status::error(error.what()).context("cannot finish " + what));
    }
  }
}

void OutputPath::collect() {
  if (thread_.joinable()) thread_.join();
  inFlight_.reset();
  files_.take(outcomes_);
  outcomes_ = {};
}

void OutputPath::finish() {
  collect();
  if (finished_) return;
  finished_ = true;
  for (SubjectSink* sink : sinks_) {
    try {
      sink->runFinished(outcomes_);
    } catch (const std::exception& error) {
      outcomes_.notWritten("the run's last outputs",
                           Status::error(error.what()).context("cannot finish the run's outputs"));
    }
  }
  files_.take(outcomes_);
  outcomes_ = {};
}

}  // namespace cohortix::host
