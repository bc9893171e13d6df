#include "host/analysis/finished_input.h"

#include <system_error>

#include "host/export/bids_unfinished.h"
#include "host/io/folder_lock.h"

namespace cohortix::host {

Status finishedInput(const std::filesystem::path& run) {
  std::error_code error;
  if (!std::filesystem::is_directory(run, error)) return Status::ok();  // its reader says why
  // The run that writes a folder holds its lock until it ends; taking it here, at
  // once let go, tells whether one does.
  if (Result<FolderLock> lock = FolderLock::take(run); !lock) return lock.status();
  if (markedUnfinished(run))
    return Status::error(run.string() + " is marked unfinished (" + unfinishedMarkerOf(run).string() +
                         "): its run stopped before its last subject; `cohortix run --resume` finishes it");
  return Status::ok();
}

}  // namespace cohortix::host
