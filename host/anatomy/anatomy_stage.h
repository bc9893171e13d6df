#pragma once
// The anatomy on a run's output path: a stage that recomposes every subject's
// data on the anatomy before any sink sees them (vtc_anatomy.h), and a sink that
// writes each subject's T1-weighted image, its head motion's truth when the head
// moves and, at the run's end, the truth of the anatomy itself (brain mask and
// tissue fractions on the VTC's grid).

#include <filesystem>
#include <memory>
#include <string>

#include "host/anatomy/anatomy.h"
#include "host/anatomy/vtc_anatomy.h"
#include "host/session/saved_subject.h"

namespace cohortix::host {
class DiskInterface;
}

namespace cohortix::host::anatomy {

class AnatomyStage final : public SubjectDataStage {
 public:
  explicit AnatomyStage(const Composition& composition) : composition_(composition) {}
  // Throws for a subject without components (a plug-in that does not report).
  void prepare(const SavedSubject& subject, std::span<float> data) override;

 private:
  const Composition& composition_;
};

struct AnatomyOutputSetting {
  std::filesystem::path outputDir;  // the native files' folder
  bool nativeFiles = false;         // beside the native files (with --truth)
  std::filesystem::path bidsDir;    // empty: no dataset
  bool bidsTruth = false;           // the anatomy's truth in the dataset's derivatives
  bool gzip = false;
  std::string experiment;
  int32_t largestSubjectNumber = 0;
};

class AnatomyOutputs final : public SubjectSink {
 public:
  AnatomyOutputs(const Anatomy& anatomy, const Composition& composition, AnatomyOutputSetting setting,
                 DiskInterface& disk);
  void subjectSaved(const SavedSubject& subject, SubjectOutcomes& outcomes) override;
  void runFinished(SubjectOutcomes& outcomes) override;

 private:
  // With `ownAnatomy` (the subject's affine as JSON), the head is the subject's own.
  Status writeHead(const std::filesystem::path& file, const std::vector<float>& head,
                   const std::string& ownAnatomy);
  // The motion's table and sidecar as `stem`.tsv and `stem`.json.
  void writeMotionTruth(const SavedSubject& subject, const std::string& stem, SubjectOutcomes& outcomes);
  void writeGridTruth(const std::filesystem::path& mask, const std::filesystem::path& tissue,
                      SubjectOutcomes& outcomes);

  const Anatomy& anatomy_;
  const Composition& composition_;
  AnatomyOutputSetting setting_;
  DiskInterface& disk_;
  std::vector<float> head_;  // the T1w's values as floats, made once
};

}  // namespace cohortix::host::anatomy
