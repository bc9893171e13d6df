#include "host/export/export_file.h"

#include "host/io/disk_interface.h"

namespace cohortix::host {

Status cannotWrite(Status status, const std::filesystem::path& file) {
  return std::move(status).context("cannot write " + file.string()).aboutFile(file.string());
}

Status writeExportText(DiskInterface& disk, const std::filesystem::path& file,
                       std::string_view text) {
  const std::string_view parts[] = {text};
  return cannotWrite(disk.writeFile(file, parts), file);
}

Status makeExportFolder(DiskInterface& disk, const std::filesystem::path& folder) {
  return disk.makeDirs(folder).context("cannot create " + folder.string()).aboutFile(folder.string());
}

}  // namespace cohortix::host
