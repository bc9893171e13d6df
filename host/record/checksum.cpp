#include "host/record/checksum.h"

#include <fcntl.h>
#include <xxhash.h>
#include <unistd.h>

#include <cerrno>
#include <new>
#include <vector>

#include "host/io/file_descriptors.h"

namespace cohortix::host::record {

struct Checksum::State {
  XXH3_state_t* state = nullptr;
};

Checksum::Checksum() : state_(std::make_unique<State>()) {
  state_->state = XXH3_createState();
  if (state_->state == nullptr || XXH3_128bits_reset(state_->state) != XXH_OK) throw std::bad_alloc();
}

Checksum::~Checksum() { XXH3_freeState(state_->state); }

void Checksum::add(std::string_view bytes) {
  XXH3_128bits_update(state_->state, bytes.data(), bytes.size());
}

// The canonical (big-endian) form, as xxh128sum prints it.
std::string Checksum::hex() {
  XXH128_canonical_t canonical;
  XXH128_canonicalFromHash(&canonical, XXH3_128bits_digest(state_->state));
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string text;
  text.reserve(2 * sizeof canonical.digest);
  for (const unsigned char byte : canonical.digest) {
    text += kDigits[byte >> 4];
    text += kDigits[byte & 15];
  }
  return text;
}

std::string checksumOf(std::string_view bytes) {
  Checksum sum;
  sum.add(bytes);
  return sum.hex();
}

Result<FileChecksum> fileChecksum(const std::filesystem::path& path) {
  const int fd = openFile(path, O_RDONLY);
  if (fd < 0) return Status::fromErrno(errno);
  Checksum sum;
  FileChecksum checksum;
  std::vector<char> buffer(std::size_t{1} << 20);
  for (;;) {
    const ssize_t count = ::read(fd, buffer.data(), buffer.size());
    if (count < 0 && errno == EINTR) continue;
    if (count < 0) {
      const Status failed = Status::fromErrno(errno);
      ::close(fd);
      return failed;
    }
    if (count == 0) break;
    sum.add({buffer.data(), static_cast<std::size_t>(count)});
    checksum.bytes += static_cast<uint64_t>(count);
  }
  ::close(fd);
  checksum.checksum = sum.hex();
  return checksum;
}

}  // namespace cohortix::host::record
