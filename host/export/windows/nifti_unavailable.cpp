// The Windows stand-in host has no NIfTI library: it refuses NIfTI output the way
// any failed export is refused, naming the file.

#include "host/export/export_file.h"
#include "host/export/nifti_writer.h"

namespace cohortix::host {

Status writeNifti(DiskInterface&, const std::filesystem::path& file, const NiftiTimeCourse&) {
  return cannotWrite(Status::error("NIfTI output is not part of this build"), file);
}

Status writeNifti(DiskInterface& disk, const std::filesystem::path& file,
                  const NiftiTimeCourse& volume, int) {
  return writeNifti(disk, file, volume);
}

}  // namespace cohortix::host
