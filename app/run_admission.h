#pragma once
// What a run must be granted before it starts, each refused with one line and exit
// status 5 before anything is written: a control file that is a readable regular
// file, enough memory, output folders that are folders, locked for this run alone,
// and no earlier run of the same experiment in the output folder (unless --force,
// which removes that run's files once the control file has been accepted).

#include <filesystem>
#include <string>
#include <vector>

#include "control/simulation_design.h"
#include "host/io/folder_lock.h"
#include "host/io/status.h"

namespace cohortix::app {

// Ok when path names a regular file this process can open for reading; otherwise
// "cannot read the control file PATH: reason" or "PATH is not a regular file".
// Never waits on a FIFO.
host::Status controlFileReadable(const std::filesystem::path& path);

// Ok when path is a regular file, or when it cannot be looked at (its reader says
// why); "PATH is not a regular file" for a device, FIFO or folder.
host::Status regularFileOrAbsent(const std::filesystem::path& path);

// Ok when path is missing or a folder; "--what PATH is not a folder" otherwise.
host::Status folderOrMissing(const std::filesystem::path& path, const std::string& what);

// Ok when this process may create files in the folder; otherwise "cannot create
// files in WHAT PATH: reason".
host::Status writableFolder(const std::filesystem::path& folder, const std::string& what);

// The files of the experiment's runs in folder (native files and exports beside
// them), sorted by name; none when the folder is missing.
std::vector<std::filesystem::path> filesOfExperiment(const std::filesystem::path& folder,
                                                     const std::string& experimentName);

// Ok when the folder holds no file of the experiment. Otherwise, without `force`, a
// refusal naming one of them; with `force`, the files are removed (a refusal names
// the first that cannot be).
host::Status clearEarlierRun(const std::filesystem::path& folder, const std::string& experimentName,
                             bool force);

// The locks a run holds on its folders, each folder once.
class RunLocks {
 public:
  host::Status take(const std::filesystem::path& folder);
  bool holds(const std::filesystem::path& folder) const;

 private:
  std::vector<std::filesystem::path> folders_;
  std::vector<host::FolderLock> locks_;
};

}  // namespace cohortix::app
