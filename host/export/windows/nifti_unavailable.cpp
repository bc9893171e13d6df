// The Windows stand-in host has no NIfTI library: it refuses NIfTI output the way
// any failed export is refused, naming the file.

#include <stdexcept>

#include "host/export/nifti_writer.h"

namespace cohortix::host {

void writeNifti(DiskInterface&, const std::filesystem::path& file, const NiftiTimeCourse&) {
  throw std::runtime_error("cannot write " + file.string() +
                           ": NIfTI output is not part of this build");
}

}  // namespace cohortix::host
