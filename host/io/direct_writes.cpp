#include "host/io/direct_writes.h"

#include <fcntl.h>

#ifdef _WIN32
#include <malloc.h>
#endif

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>
#include <system_error>

namespace cohortix::host {

#if defined(__linux__) && defined(O_DIRECT)

bool startDirectWrites(int fd) {
  const int flags = ::fcntl(fd, F_GETFL);
  return flags >= 0 && ::fcntl(fd, F_SETFL, flags | O_DIRECT) == 0;
}

void stopDirectWrites(int fd) {
  const int flags = ::fcntl(fd, F_GETFL);
  if (flags >= 0 && (flags & O_DIRECT) != 0) static_cast<void>(::fcntl(fd, F_SETFL, flags & ~O_DIRECT));
}

bool writesDirect(int fd) {
  const int flags = ::fcntl(fd, F_GETFL);
  return flags >= 0 && (flags & O_DIRECT) != 0;
}

#else

bool startDirectWrites(int) { return false; }
void stopDirectWrites(int) {}
bool writesDirect(int) { return false; }

#endif

namespace {

// An aligned buffer of `bytes` (a multiple of the alignment); bad_alloc when there
// is none. The Windows C library has no aligned_alloc, only its own pair.
char* alignedBuffer(std::size_t bytes) {
#ifdef _WIN32
  char* p = static_cast<char*>(_aligned_malloc(bytes, kDirectBlockBytes));
#else
  char* p = static_cast<char*>(std::aligned_alloc(kDirectBlockBytes, bytes));
#endif
  if (p == nullptr) throw std::bad_alloc();
  return p;
}

}  // namespace

void DirectStaging::Free::operator()(char* p) const {
#ifdef _WIN32
  _aligned_free(p);
#else
  std::free(p);
#endif
}

DirectStaging::DirectStaging(std::size_t capacity, int fd, Write write)
    : capacity_(std::max(capacity - capacity % kDirectBlockBytes, kDirectBlockBytes)),
      fd_(fd),
      write_(std::move(write)) {}

DirectStaging::~DirectStaging() { abandon(); }

void DirectStaging::abandon() {
  static_cast<void>(waitForFlight());
  used_ = 0;
}

Status DirectStaging::waitForFlight() {
  if (!flight_.valid()) return Status::ok();
  return flight_.get();
}

Status DirectStaging::append(std::string_view bytes) {
  // Where the file system has no direct writes, gathering the bytes gains nothing.
  if (tried_ && !direct_) return bytes.empty() ? Status::ok() : write_(bytes);
  while (!bytes.empty()) {
    if (!buffer_) buffer_.reset(alignedBuffer(capacity_));
    const std::size_t taken = std::min(bytes.size(), capacity_ - used_);
    std::memcpy(buffer_.get() + used_, bytes.data(), taken);
    used_ += taken;
    bytes.remove_prefix(taken);
    if (used_ < capacity_) break;
    Status written = handOverFull();
    if (!written) return written;
  }
  return Status::ok();
}

Status DirectStaging::handOverFull() {
  used_ = 0;
  if (!tried_) direct_ = startDirectWrites(fd_);
  tried_ = true;
  if (!direct_) return write_(std::string_view(buffer_.get(), capacity_));
  Status previous = waitForFlight();
  if (!previous) return previous;
  if (!flying_) flying_.reset(alignedBuffer(capacity_));
  std::swap(buffer_, flying_);
  const std::string_view full(flying_.get(), capacity_);
  try {
    flight_ = std::async(std::launch::async, [this, full] { return write_(full); });
  } catch (const std::system_error&) {
    return write_(full);  // no thread to be had: written here
  }
  return Status::ok();
}

Status DirectStaging::finish() {
  Status previous = waitForFlight();
  if (!previous) return previous;
  const std::string_view staged(buffer_.get(), used_);
  used_ = 0;
  if (!direct_) return staged.empty() ? Status::ok() : write_(staged);
  const std::size_t blocks = staged.size() - staged.size() % kDirectBlockBytes;
  if (blocks > 0) {
    Status written = write_(staged.substr(0, blocks));
    if (!written) return written;
  }
  stopDirectWrites(fd_);
  direct_ = false;
  return staged.size() > blocks ? write_(staged.substr(blocks)) : Status::ok();
}

}  // namespace cohortix::host
