#pragma once
// The host's own bytes of the records it exchanges with the plug-in. Each record
// has documented fields at its front; past them, up to the host's record size, the
// bytes are the host's. Whenever the host fills a record it writes a known pattern
// there, and when a record comes back it checks the pattern came back unchanged
// (or, for a record the plug-in built from scratch, that the bytes are still zero).
// The host never reads or writes a record beyond its host record size.

#include <cstddef>

#include "abi/host_records.h"
#include "host/io/status.h"

namespace cohortix::host {

inline constexpr std::size_t kProtocolRecordHostSize = 1024;
inline constexpr std::size_t kConditionRecordHostSize = 512;
inline constexpr std::size_t kVTCHeaderHostSize = 256;

static_assert(kProtocolRecordHostSize >= kProtocolRecordDocumentedSize &&
              kProtocolRecordHostSize <= kHostRecordCapacity);
static_assert(kConditionRecordHostSize >= kConditionRecordDocumentedSize &&
              kConditionRecordHostSize <= kHostRecordCapacity);
static_assert(kVTCHeaderHostSize >= kVTCHeaderDocumentedSize &&
              kVTCHeaderHostSize <= kHostRecordCapacity);

// The bytes of a record that belong to the host: [begin, end).
struct HostRegion {
  std::size_t begin;
  std::size_t end;
};
inline constexpr HostRegion kProtocolHostRegion{kProtocolRecordDocumentedSize, kProtocolRecordHostSize};
inline constexpr HostRegion kConditionHostRegion{kConditionRecordDocumentedSize, kConditionRecordHostSize};
inline constexpr HostRegion kVTCHeaderHostRegion{kVTCHeaderDocumentedSize, kVTCHeaderHostSize};

// The pattern's byte at a record offset; never zero, and different for neighbours,
// so a shifted or partly zeroed region shows.
unsigned char hostPatternByte(std::size_t offset);

void fillHostPattern(void* record, HostRegion region);

enum class HostBytes { Pattern, Zero, Changed };

// What the host's bytes hold; *firstChanged is the first offset that matches
// neither the pattern nor zero-from-scratch (only set for Changed).
HostBytes examineHostBytes(const void* record, HostRegion region, std::size_t* firstChanged);

// Whether a record the plug-in hands to `call` came back as the host handed it out
// (or, when mayBeFresh, with the host's bytes still zero); the refusal names the
// call, the record (`what`) and the first byte that differs.
Status checkRecordCameBack(const char* call, const void* record, HostRegion region,
                           const char* what, bool mayBeFresh);

}  // namespace cohortix::host
