#include "host/record/sha256.h"

#include <fcntl.h>
#include <openssl/evp.h>
#include <unistd.h>

#include <cerrno>
#include <new>
#include <vector>

#include "host/io/file_descriptors.h"

namespace cohortix::host::record {

struct Sha256::State {
  EVP_MD_CTX* context = nullptr;
};

Sha256::Sha256() : state_(std::make_unique<State>()) {
  state_->context = EVP_MD_CTX_new();
  if (state_->context == nullptr || EVP_DigestInit_ex(state_->context, EVP_sha256(), nullptr) != 1)
    throw std::bad_alloc();
}

Sha256::~Sha256() { EVP_MD_CTX_free(state_->context); }

void Sha256::add(std::string_view bytes) {
  EVP_DigestUpdate(state_->context, bytes.data(), bytes.size());
}

std::string Sha256::hex() {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  EVP_DigestFinal_ex(state_->context, digest, &length);
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string text;
  text.reserve(2 * length);
  for (unsigned int i = 0; i < length; ++i) {
    text += kDigits[digest[i] >> 4];
    text += kDigits[digest[i] & 15];
  }
  return text;
}

std::string sha256Of(std::string_view bytes) {
  Sha256 sum;
  sum.add(bytes);
  return sum.hex();
}

Result<FileChecksum> fileChecksum(const std::filesystem::path& path) {
  const int fd = openFile(path, O_RDONLY);
  if (fd < 0) return Status::fromErrno(errno);
  Sha256 sum;
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
  checksum.sha256 = sum.hex();
  return checksum;
}

}  // namespace cohortix::host::record
