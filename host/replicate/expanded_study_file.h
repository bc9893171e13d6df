#pragma once
// Replicate K's expanded study as a control file for the plug-in to read, in a
// private folder of its own under the system's temporary folder (mode 0700, made
// by mkdtemp), removed with the object. The file is read back through the reader
// before the run, so the plug-in reads what the host expects.

#include <filesystem>
#include <memory>

#include "control/simulation_design.h"
#include "host/io/disk_interface.h"
#include "host/io/status.h"
#include "host/session/subject_selection.h"

namespace cohortix::host::replicate {

class ExpandedStudyFile {
 public:
  // `study` is the control file as the user gave it.
  static Result<std::unique_ptr<ExpandedStudyFile>> write(const std::filesystem::path& study,
                                                          int32_t replicate, DiskInterface& disk);
  ~ExpandedStudyFile();
  ExpandedStudyFile(const ExpandedStudyFile&) = delete;
  ExpandedStudyFile& operator=(const ExpandedStudyFile&) = delete;

  const std::filesystem::path& path() const { return file_; }
  // The subjects of the plug-in's run the host keeps, under the study's names.
  const SubjectSelection& selection() const { return *selection_; }
  // Removes the folder now (also from the thread that stops an interrupted run).
  void remove() noexcept;

 private:
  ExpandedStudyFile() = default;

  std::filesystem::path folder_;
  std::filesystem::path file_;
  std::unique_ptr<SubjectSelection> selection_;
};

}  // namespace cohortix::host::replicate
