#include "host/session/disk_room.h"

#include <sys/stat.h>

#include <map>

#include "host/session/memory_budget.h"

namespace cohortix::host {

Status roomFor(const std::vector<PlannedOutput>& sharing, uint64_t available) {
  uint64_t needed = 0;
  std::string named;
  for (const PlannedOutput& output : sharing) {
    needed = needed + output.bytes < needed ? UINT64_MAX : needed + output.bytes;
    named += (named.empty() ? "" : " and ") + output.what + " " + output.folder.string();
  }
  if (needed <= available) return Status::ok();
  return Status::error("no room to write: " + named + (sharing.size() > 1 ? " need" : " needs") +
                       " at least " + byteSize(needed) +
                       " and " + (sharing.size() > 1 ? "their" : "its") + " file system has " +
                       byteSize(available) + " free; free some space or write elsewhere");
}

Status checkDiskRoom(const std::vector<PlannedOutput>& outputs) {
  std::map<dev_t, std::vector<PlannedOutput>> byDevice;
  for (const PlannedOutput& output : outputs) {
    struct stat status {};
    if (output.bytes == 0 || ::stat(output.folder.c_str(), &status) != 0) continue;
    byDevice[status.st_dev].push_back(output);
  }
  for (const auto& [device, sharing] : byDevice) {
    std::error_code error;
    const std::filesystem::space_info space = std::filesystem::space(sharing.front().folder, error);
    if (error) continue;
    if (Status room = roomFor(sharing, space.available); !room) return room;
  }
  return Status::ok();
}

}  // namespace cohortix::host
