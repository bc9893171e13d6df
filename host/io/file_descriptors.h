#pragma once
// Files by descriptor, alike on every platform the host runs on: not inherited by
// child processes, and on Windows without the C library's line-end translation,
// so every byte reaches the disk as written.

#include <filesystem>

namespace cohortix::host {

// open() with these guarantees: a descriptor, or -1 with errno set.
int openFile(const std::filesystem::path& path, int flags, int mode = 0);

// Creates a file that is not there yet, for writing, and refuses to follow a
// symbolic link planted under its name: a descriptor, or -1 with errno set
// (EEXIST when the name is taken).
int createNewFile(const std::filesystem::path& path);

// Takes the file's lock without waiting, so another process can tell a file still
// being written from one left by a process that ended: 0, or -1 with errno set
// (EWOULDBLOCK while another holds it). The lock goes with the last descriptor of
// the file, whichever way the process ends.
int lockFile(int fd);

// Flushes the file's bytes to the disk: 0, or -1 with errno set.
int syncFile(int fd);

// Renames from onto to, replacing a file of that name as POSIX rename() does:
// 0, or -1 with errno set.
int replaceFile(const std::filesystem::path& from, const std::filesystem::path& to);

}  // namespace cohortix::host
