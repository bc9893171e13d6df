#pragma once
// The first sink of the output path: writes the subject's .vtc under the name the
// plug-in gave, from the staged data, whole or not at all.

#include <filesystem>

#include "host/session/saved_subject.h"

namespace cohortix::host {

class DiskInterface;

class NativeVTCWriter : public SubjectSink {
 public:
  NativeVTCWriter(DiskInterface& disk, std::filesystem::path folder)
      : disk_(disk), folder_(std::move(folder)) {}
  void subjectSaved(const SavedSubject& subject, SubjectOutcomes& outcomes) override;

 private:
  DiskInterface& disk_;
  std::filesystem::path folder_;
};

}  // namespace cohortix::host
