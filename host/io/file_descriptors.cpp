#include "host/io/file_descriptors.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#ifdef _WIN32
#include <io.h>
#include <windows.h>
#else
#include <sys/file.h>
#endif

namespace cohortix::host {

#ifdef _WIN32

int openFile(const std::filesystem::path& path, int flags, int mode) {
  return ::_wopen(path.c_str(), flags | O_BINARY | O_NOINHERIT, mode);
}

int createNewFile(const std::filesystem::path& path) {
  return openFile(path, O_WRONLY | O_CREAT | O_EXCL, 0666);
}

// An open file cannot be removed on Windows: a file still being written needs no
// lock to be safe from another process's clean-up.
int lockFile(int) { return 0; }

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

// O_EXCL alone already refuses a symbolic link in the name's place; O_NOFOLLOW
// says so. The mode leaves the permissions to the umask, as for any file the user
// creates.
int createNewFile(const std::filesystem::path& path) {
  return openFile(path, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW, 0666);
}

int lockFile(int fd) {
  for (;;) {
    const int result = ::flock(fd, LOCK_EX | LOCK_NB);
    if (result == 0 || errno != EINTR) return result;
  }
}

int syncFile(int fd) { return ::fsync(fd); }

int replaceFile(const std::filesystem::path& from, const std::filesystem::path& to) {
  return std::rename(from.c_str(), to.c_str());
}

#endif

}  // namespace cohortix::host
