#pragma once
// The first sink of the output path: writes the subject's .vtc under the name the
// plug-in gave, from the staged data, whole or not at all.

#include <filesystem>

#include "host/session/saved_subject.h"

namespace cohortix::host {

class DiskInterface;

class NativeVTCWriter : public SubjectSink {
 public:
  // `toDisk` false: the run wants no native files, and the writer writes nothing.
  NativeVTCWriter(DiskInterface& disk, std::filesystem::path folder, bool toDisk = true)
      : disk_(disk), folder_(std::move(folder)), toDisk_(toDisk) {}
  void subjectSaved(const SavedSubject& subject, SubjectOutcomes& outcomes) override;

 private:
  DiskInterface& disk_;
  std::filesystem::path folder_;
  bool toDisk_;
};

}  // namespace cohortix::host
