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
#include <future>
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
// one buffer never goes past the cache: its few blocks would gain nothing.
// A direct write returns only once the disk has the bytes, so each full buffer is
// written on a thread of its own while the next one fills: the writer's work and
// the disk's overlap as they did when the cache took the bytes at once. At most
// one buffer is in flight; its failure is the answer of the next call. The
// buffers are allocated at the first byte.
class DirectStaging {
 public:
  using Write = std::function<Status(std::string_view)>;
  DirectStaging(std::size_t capacity, int fd, Write write);
  // Waits for the buffer in flight: the file must stay open until then.
  ~DirectStaging();
  DirectStaging(const DirectStaging&) = delete;
  DirectStaging& operator=(const DirectStaging&) = delete;

  Status append(std::string_view bytes);
  Status finish();
  // Waits for the buffer in flight and drops what is staged: for a file given up.
  void abandon();

 private:
  struct Free {
    void operator()(char* p) const;
  };
  using Buffer = std::unique_ptr<char, Free>;
  Status handOverFull();
  Status waitForFlight();

  std::size_t capacity_;
  int fd_;
  Write write_;
  Buffer buffer_;  // filling
  Buffer flying_;  // being written, or free for the next fill
  std::future<Status> flight_;
  std::size_t used_ = 0;
  bool tried_ = false;   // the first full buffer has been handed over
  bool direct_ = false;  // and the file system took the direct writes
};

}  // namespace cohortix::host
