#include "host/session/record_pattern.h"

#include <string>

namespace cohortix::host {
namespace {

const unsigned char* bytesOf(const void* record) { return static_cast<const unsigned char*>(record); }

std::size_t firstWhere(const void* record, HostRegion region, bool (*differs)(std::size_t, unsigned char)) {
  for (std::size_t offset = region.begin; offset < region.end; ++offset)
    if (differs(offset, bytesOf(record)[offset])) return offset;
  return region.end;
}

}  // namespace

unsigned char hostPatternByte(std::size_t offset) {
  return static_cast<unsigned char>(1 + (offset * 167 + 0x5A) % 255);
}

void fillHostPattern(void* record, HostRegion region) {
  auto* bytes = static_cast<unsigned char*>(record);
  for (std::size_t offset = region.begin; offset < region.end; ++offset) bytes[offset] = hostPatternByte(offset);
}

HostBytes examineHostBytes(const void* record, HostRegion region, std::size_t* firstChanged) {
  const std::size_t notPattern =
      firstWhere(record, region, [](std::size_t o, unsigned char b) { return b != hostPatternByte(o); });
  if (notPattern == region.end) return HostBytes::Pattern;
  const std::size_t notZero = firstWhere(record, region, [](std::size_t, unsigned char b) { return b != 0; });
  if (notZero == region.end) return HostBytes::Zero;
  // Report where the bytes stop looking like either: the later of the two firsts.
  *firstChanged = notPattern > notZero ? notPattern : notZero;
  return HostBytes::Changed;
}

Status checkRecordCameBack(const char* call, const void* record, HostRegion region,
                           const char* what, bool mayBeFresh) {
  if (record == nullptr) return Status::error(std::string(call) + ": no " + what + " given");
  std::size_t changed = 0;
  const HostBytes bytes = examineHostBytes(record, region, &changed);
  if (bytes == HostBytes::Pattern || (bytes == HostBytes::Zero && mayBeFresh)) return Status::ok();
  if (bytes == HostBytes::Zero) changed = region.begin;
  return Status::error(std::string(call) + ": the host's bytes " + std::to_string(region.begin) +
                       " to " + std::to_string(region.end - 1) + " of the " + what +
                       " did not come back as the host handed them out (first difference at byte " +
                       std::to_string(changed) + ")");
}

}  // namespace cohortix::host
