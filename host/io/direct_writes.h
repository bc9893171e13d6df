#pragma once
// Large files go to the disk past the page cache where the file system allows it
// (O_DIRECT): a run writes gigabytes it never reads again, and copying them into
// the cache and writing them back from there costs as much processor time as the
// simulation itself on a virtual machine's disk. Such writes must start at, and
// be as long as, whole disk blocks from a block-aligned buffer, so the bytes of a
// file are gathered in an aligned buffer of whole blocks; the last bytes, less
// than a block, go through the cache as before.

#include <cstddef>
#include <functional>
#include <memory>
#include <string_view>

#include "host/io/status.h"

namespace cohortix::host {

// The alignment of the buffer, of every write and of the file offsets: a multiple
// of every disk's block size in use.
inline constexpr std::size_t kDirectBlockBytes = 4096;

// Turns writes past the cache on for the open file: false where the system or the
// file system has none (the file is then written as before).
bool startDirectWrites(int fd);
// Turns them off again, so bytes of any length and alignment can follow.
void stopDirectWrites(int fd);
// Whether writes to the file go past the cache.
bool writesDirect(int fd);

// Gathers the bytes of the file open as fd into whole buffers of `capacity` bytes
// (a multiple of kDirectBlockBytes) and hands each to `write` once full, the
// first turning the direct writes on; finish() hands over the rest, its whole
// blocks still direct and the last bytes through the cache. A file shorter than
// one buffer never goes past the cache: its few blocks would gain nothing. The
// buffer is allocated at the first byte.
class DirectStaging {
 public:
  using Write = std::function<Status(std::string_view)>;
  DirectStaging(std::size_t capacity, int fd, Write write);

  Status append(std::string_view bytes);
  Status finish();

 private:
  struct Free {
    void operator()(char* p) const;
  };
  Status handOverFull();

  std::size_t capacity_;
  int fd_;
  Write write_;
  std::unique_ptr<char, Free> buffer_;
  std::size_t used_ = 0;
  bool tried_ = false;   // the first full buffer has been handed over
  bool direct_ = false;  // and the file system took the direct writes
};

}  // namespace cohortix::host
