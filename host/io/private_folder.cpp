#include "host/io/private_folder.h"

#include <stdlib.h>

#include <cerrno>
#include <system_error>

namespace cohortix::host {

Result<PrivateFolder> PrivateFolder::make(const std::filesystem::path& parent, const std::string& prefix) {
  std::error_code error;
  const std::filesystem::path base = parent.empty() ? std::filesystem::temp_directory_path(error) : parent;
  if (error) return Status::fromErrno(error.value()).context("cannot find the temporary folder");
  std::string pattern = (base / (prefix + "-XXXXXX")).string();
  if (::mkdtemp(pattern.data()) == nullptr)
    return Status::fromErrno(errno).context("cannot make a temporary folder in " + base.string());
  return PrivateFolder(pattern);
}

PrivateFolder::~PrivateFolder() {
  std::error_code ignored;
  if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
}

}  // namespace cohortix::host
