#include "host/analysis/finished_input.h"

#include <system_error>

#include "host/export/bids_unfinished.h"
#include "host/io/disk_interface.h"
#include "host/io/folder_lock.h"
#include "host/record/run_recorder.h"

namespace cohortix::host {

namespace {

// A folder of native files whose run's record lists a subject's volume time
// course that is no longer there.
Status recordedSubjectsThere(const std::filesystem::path& run) {
  const std::filesystem::path path = record::findRunRecord(run);
  if (path.empty() || path.parent_path() != run) return Status::ok();
  RealDiskInterface disk;
  Result<record::RunRecord> recorded = record::readRunRecord(path, disk);
  if (!recorded) return Status::ok();  // the analysis's own reading of it says why
  std::error_code error;
  for (const record::RecordedFile& file : recorded->files)
    if (file.output == "native" && file.path.ends_with(".vtc") && !std::filesystem::exists(run / file.path, error))
      return Status::error(run.string() + " lacks " + file.path + ", which its run wrote (" + path.string() +
                           " lists it)");
  return Status::ok();
}

}  // namespace

Status finishedInput(const std::filesystem::path& run) {
  std::error_code error;
  if (!std::filesystem::is_directory(run, error)) return Status::ok();  // its reader says why
  // The run that writes a folder holds its lock until it ends; taking it here, at
  // once let go, tells whether one does.
  if (Result<FolderLock> lock = FolderLock::take(run); !lock) return lock.status();
  if (Status there = recordedSubjectsThere(run); !there) return there;
  if (markedUnfinished(run))
    return Status::error(run.string() + " is marked unfinished (" + unfinishedMarkerOf(run).string() +
                         "): its run stopped before its last subject; `cohortix run --resume` finishes it");
  return Status::ok();
}

}  // namespace cohortix::host
