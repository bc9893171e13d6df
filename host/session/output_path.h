#pragma once
// The one way out for a subject's outputs. The protocol and design-matrix saves
// tell it the subject's names and documents as saved; the VTC save raises "subject
// saved": the path waits until the previous subject has left, copies the VTC's
// data into the one staging buffer it owns and returns, so the plug-in waits only
// for the copy. On a writer thread the stages then change the staged data, in
// order, and the sinks take the subject: the native writer and the sinks added
// after it side by side, each on a thread of its own, then the progress line. What the sinks could not write
// is reported on the plug-in's thread at the next save or when the run finishes.
// With the VTC's own buffer at most two subjects' data are in memory.

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "host/session/run_order.h"
#include "host/session/saved_subject.h"
#include "host/session/subject_selection.h"

namespace cohortix::host {

class OutputFiles;

class OutputPath {
 public:
  // `runOrder`: the study's subjects, when the host knows the study. The sinks and
  // `files` must outlive the path.
  OutputPath(OutputFiles& files, SubjectSink& writer, SubjectSink& progress,
             std::optional<std::vector<RunSubject>> runOrder, double repetitionTime);
  ~OutputPath();
  OutputPath(const OutputPath&) = delete;
  OutputPath& operator=(const OutputPath&) = delete;

  // Before the run: a stage after those added before, a sink after the native
  // writer and the sinks added before, ahead of the progress line.
  void addStage(SubjectDataStage& stage) { stages_.push_back(&stage); }
  // Before the run: a stage ahead of every other, which sees the data as the
  // plug-in made them (one that checks them, not one that changes them).
  void addFirstStage(SubjectDataStage& stage) { stages_.insert(stages_.begin(), &stage); }
  void addSink(SubjectSink& sink);
  // Before the run: a witness of every subject the plug-in saves.
  void addWitness(SubjectWitness& witness) { witnesses_.push_back(&witness); }
  // Before the run: only the selection's subjects go out, under its names; the
  // files of the others are not written and no stage or sink sees them. The
  // selection must outlive the path.
  void select(const SubjectSelection& selection) { selection_ = &selection; }
  // What becomes of a file the plug-in saves under `name`: kept under its own name
  // without a selection.
  Result<SelectedFile> selected(const std::string& name) const;

  // The subject's protocol was saved under name (written: whether it reached disk).
  void protocolSaved(const std::string& name, const ProtocolDocument& protocol, bool written);
  void designMatrixSaved(const std::string& name, const DesignMatrix& matrix);
  // The name of the current subject's protocol when it could not be saved; "".
  const std::string& unsavedProtocol() const { return unsavedProtocol_; }

  // "Subject saved". `protocol` and `matrix` stand in for a document the plug-in
  // did not save for this subject; `components`: what the plug-in reported of it
  // (null: nothing). An error when the data could not be staged.
  Status subjectSaved(const std::string& vtcName, const VTCDocument& vtc,
                      const ProtocolDocument& protocol, const DesignMatrix& matrix,
                      std::shared_ptr<SubjectComponents> components = nullptr);

  // Waits for the last subject, then tells every sink the run is over.
  void finish();

 private:
  void collect();
  // `step` of every sink in order, at the run's end.
  void finishEverySink(void (SubjectSink::*step)(SubjectOutcomes&), const char* what,
                       const char* failure);
  void forgetSubject();
  void dispatch();
  void passSinks(const SavedSubject& subject);
  static void passSink(SubjectSink& sink, const SavedSubject& subject, SubjectOutcomes& outcomes);
  std::unique_ptr<SavedSubject> nextSubject(const std::string& vtcName, const VTCDocument& vtc,
                                            const ProtocolDocument& protocol,
                                            const DesignMatrix& matrix,
                                            std::shared_ptr<SubjectComponents> components);

  OutputFiles& files_;
  std::vector<SubjectSink*> sinks_;
  std::vector<SubjectDataStage*> stages_;
  std::vector<SubjectWitness*> witnesses_;
  std::optional<std::vector<RunSubject>> runOrder_;
  double repetitionTime_;
  std::size_t subjectsSaved_ = 0;

  // The subject being built: what the plug-in saved since the last VTC.
  SubjectFileNames names_;
  std::optional<ProtocolDocument> protocol_;
  std::optional<DesignMatrix> matrix_;
  std::string unsavedProtocol_;

  const SubjectSelection* selection_ = nullptr;

  // The subject on its way through the stages and sinks.
  std::vector<float> staging_;  // same size every subject of a run: allocated once
  std::unique_ptr<SavedSubject> inFlight_;
  SubjectOutcomes outcomes_;
  std::thread thread_;
  bool finished_ = false;
};

}  // namespace cohortix::host
