#include "host/io/file_descriptors.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#ifdef _WIN32
#include <io.h>
#include <windows.h>
#endif

namespace cohortix::host {

#ifdef _WIN32

int openFile(const std::filesystem::path& path, int flags, int mode) {
  return ::_wopen(path.c_str(), flags | O_BINARY | O_NOINHERIT, mode);
}

int syncFile(int fd) { return ::_commit(fd); }

// rename() of the Windows C library refuses to replace an existing file.
int replaceFile(const std::filesystem::path& from, const std::filesystem::path& to) {
  if (MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING)) return 0;
  errno = GetLastError() == ERROR_ACCESS_DENIED ? EACCES : EIO;
  return -1;
}

#else

int openFile(const std::filesystem::path& path, int flags, int mode) {
  return ::open(path.c_str(), flags | O_CLOEXEC, mode);
}

int syncFile(int fd) { return ::fsync(fd); }

int replaceFile(const std::filesystem::path& from, const std::filesystem::path& to) {
  return std::rename(from.c_str(), to.c_str());
}

#endif

}  // namespace cohortix::host
