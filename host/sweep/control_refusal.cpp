#include "host/sweep/control_refusal.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <memory>

#include "control/control_file_reader.h"

namespace cohortix::host::sweep {

Result<std::optional<ControlRefusal>> controlRefusal(const std::string& text) {
  const int fd = ::memfd_create("control", MFD_CLOEXEC);
  if (fd < 0) return Status::fromErrno(errno).context("cannot hold a control file in memory");
  const std::unique_ptr<int, void (*)(int*)> closed(new int(fd), [](int* open) {
    ::close(*open);
    delete open;
  });
  std::size_t written = 0;
  while (written < text.size()) {
    const ssize_t count = ::write(fd, text.data() + written, text.size() - written);
    if (count < 0 && errno == EINTR) continue;
    if (count <= 0) return Status::fromErrno(errno).context("cannot hold a control file in memory");
    written += static_cast<std::size_t>(count);
  }
  const std::string path = "/proc/self/fd/" + std::to_string(fd);
  auto design = std::make_unique<SimulationDesign>();  // far too large for the stack
  std::string message;
  if (parseControlFile(path.c_str(), *design, message)) return std::optional<ControlRefusal>();
  ControlRefusal refusal{0, message};
  // "PATH:LINE: expected ..., found ..."
  if (message.rfind(path + ":", 0) == 0) {
    const char* begin = message.data() + path.size() + 1;
    const char* end = message.data() + message.size();
    int line = 0;
    const auto [after, error] = std::from_chars(begin, end, line);
    if (error == std::errc() && end - after >= 2 && after[0] == ':' && after[1] == ' ')
      refusal = {line, std::string(after + 2, end)};
  }
  return std::optional<ControlRefusal>(refusal);
}

}  // namespace cohortix::host::sweep
