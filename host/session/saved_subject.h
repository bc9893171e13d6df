#pragma once
// The event "subject saved", raised when the plug-in saves a subject's VTC, and
// what plugs into it: stages that may change the staged data first, then sinks
// that take the subject one after the other (the native writer, the exports, the
// progress line, and whatever comes later).

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "abi/host_records.h"
#include "host/documents/design_matrix.h"
#include "host/documents/protocol_document.h"
#include "host/documents/vtc_document.h"
#include "host/io/status.h"
#include "host/session/subject_components.h"

namespace cohortix::host {

// A subject's three native files, by the names the plug-in gave them.
struct SubjectFileNames {
  std::string protocol;
  std::string designMatrix;
  std::string vtc;
  bool operator==(const SubjectFileNames&) const = default;
};

struct SavedSubject {
  // From the study as the host read it, in run order; both 0 when the host does
  // not know the study or the plug-in's names are not those of its next subject.
  int32_t groupNumber = 0;
  int32_t subjectNumber = 0;
  bool known() const { return subjectNumber > 0; }
  // Why the host does not take this for a subject of the study ("" when known, or
  // when the host does not know the study).
  std::string unexpected;

  // The names the plug-in saved the subject's files under ("" for a file it did not
  // save since the previous subject's VTC).
  SubjectFileNames files;
  // False when the subject's protocol could not be saved: the only file under its
  // name is then not this subject's, so no file built from it may be written.
  bool protocolSaved = true;
  // The protocol and design matrix as saved for this subject (or, where the plug-in
  // saved none, as the host held them when the VTC was saved).
  ProtocolDocument protocol;
  DesignMatrix designMatrix;

  // The VTC as saved: its header, geometry and the staged copy of its data, which
  // the output path owns; it stays valid until every sink has returned.
  VTCHeader header{};
  VTCDims dims;
  int32_t nrOfVolumes = 0;
  double repetitionTime = 2.0;
  std::span<const float> data;

  // What the plug-in drew for the subject, as it reported it (its numbers and cell
  // names those above); null when the loaded plug-in reports nothing.
  std::shared_ptr<const SubjectComponents> components;
};

// What became of the files a sink was to write for one subject.
class SubjectOutcomes {
 public:
  struct Outcome {
    std::string file;
    Status status;       // an error reads "cannot write FILE: reason"
    uint64_t bytes = 0;  // when written
  };

  void written(std::string file, uint64_t bytes) { outcomes_.push_back({std::move(file), {}, bytes}); }
  void notWritten(std::string file, Status why) { outcomes_.push_back({std::move(file), std::move(why), 0}); }
  // Another sink's outcomes, after these.
  void append(SubjectOutcomes&& other) {
    for (Outcome& outcome : other.outcomes_) outcomes_.push_back(std::move(outcome));
  }

  const std::vector<Outcome>& all() const { return outcomes_; }
  uint64_t bytesWritten() const;

 private:
  std::vector<Outcome> outcomes_;
};

// Why a file of a subject whose protocol could not be saved is not written: the only
// .prt under that name is another one, and the file must not go out beside it.
Status builtFromUnsavedProtocol(const std::string& protocolName);

// Takes every saved subject: one at a time, in run order, off the plug-in's thread,
// after every stage has had the data. Sinks other than the last take each subject
// at the same time as one another, on threads of their own: a sink keeps to its
// own state and files, and shares only the disk and the subject, which it only
// reads.
class SubjectSink {
 public:
  virtual ~SubjectSink() = default;
  // `outcomes` holds what this sink writes for the subject (the last sink's, what
  // every other sink wrote).
  virtual void subjectSaved(const SavedSubject& subject, SubjectOutcomes& outcomes) = 0;
  // Once, after the last subject has passed every sink and before any sink's
  // runFinished: a sink that works behind the run finishes the subjects it took.
  virtual void finishSubjects(SubjectOutcomes& /*outcomes*/) {}
  // Once, after every sink has finished its subjects.
  virtual void runFinished(SubjectOutcomes& /*outcomes*/) {}
};

// Changes a subject's staged data before any sink sees them (host-side noise, for
// one), on the writer thread, one subject at a time, in run order. Whatever a
// stage needs it checks before the run; should it still throw, nothing is made of
// the subject's data (no VTC, no export, no later sink) and its VTC is reported
// not written.
// Sees every subject the plug-in saves, the ones a selection skips too, on the
// plug-in's thread, before the subject is staged: the plug-in's own names, data
// and report (null when it reports nothing). What it needs later it copies.
class SubjectWitness {
 public:
  virtual ~SubjectWitness() = default;
  virtual void pluginSaved(const std::string& vtcName, const DesignMatrix& matrix,
                           const VTCHeader& header, std::span<const float> data,
                           const std::shared_ptr<SubjectComponents>& components) = 0;
};

class SubjectDataStage {
 public:
  virtual ~SubjectDataStage() = default;
  virtual void prepare(const SavedSubject& subject, std::span<float> data) = 0;
};

}  // namespace cohortix::host
