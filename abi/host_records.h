#pragma once
// Fixed-layout records that travel by address between the plug-in and its host.
// Every record is a wire format: the documented fields sit at fixed byte offsets,
// all integers are little-endian int32, texts are NUL-terminated 8-bit strings.
// The full length of each record belongs to the host, which may use more bytes
// than are documented here; the plug-in therefore zeroes and pads its records to
// kHostRecordCapacity bytes and hands every byte it does not own back unchanged.

#include <cstddef>
#include <cstdint>

namespace cohortix {

inline constexpr std::size_t kHostRecordCapacity = 4096;

inline constexpr int kMaxProtocolFileNameLength = 260;
inline constexpr int kMaxProtocolExperimentNameLength = 302;
inline constexpr int kMaxConditionNameLength = 279;

// The protocol header (ktGetProtocol fills it, ktSetProtocol takes it back).
//   offset   0, 4 bytes    NrOfConditions  int32: conditions of the current protocol
//   offset   4, 261 bytes  FileName        text, at most 260 characters
//   offset 265, 303 bytes  ExperimentName  text, at most 302 characters
//   offset 568, 4 bytes    TimeResolution  int32: 1 = interval bounds are volumes
//   offset 572 ..          the host's
struct ProtocolRecord {
  int32_t NrOfConditions;
  char FileName[kMaxProtocolFileNameLength + 1];
  char ExperimentName[kMaxProtocolExperimentNameLength + 1];
  int32_t TimeResolution;
  unsigned char HostBytes[kHostRecordCapacity - 572];
};
inline constexpr std::size_t kProtocolRecordDocumentedSize = 572;
static_assert(offsetof(ProtocolRecord, NrOfConditions) == 0);
static_assert(offsetof(ProtocolRecord, FileName) == 4);
static_assert(offsetof(ProtocolRecord, ExperimentName) == 265);
static_assert(offsetof(ProtocolRecord, TimeResolution) == 568);
static_assert(offsetof(ProtocolRecord, HostBytes) == kProtocolRecordDocumentedSize);
static_assert(sizeof(ProtocolRecord) == kHostRecordCapacity);

// One protocol condition (ktAddProtocolCondition, ktGetProtocolCondition, and the
// predictor operations, which read the leading name).
//   offset   0, 280 bytes  ConditionName  text, at most 279 characters
//   offset 280, 4 bytes    Color          int32: red * 65536 + green * 256 + blue
//   offset 284 ..          the host's
struct ConditionRecord {
  char ConditionName[kMaxConditionNameLength + 1];
  int32_t Color;
  unsigned char HostBytes[kHostRecordCapacity - 284];
};
inline constexpr std::size_t kConditionRecordDocumentedSize = 284;
static_assert(offsetof(ConditionRecord, ConditionName) == 0);
static_assert(offsetof(ConditionRecord, Color) == 280);
static_assert(offsetof(ConditionRecord, HostBytes) == kConditionRecordDocumentedSize);
static_assert(sizeof(ConditionRecord) == kHostRecordCapacity);

// The VTC header (ktCreateVTCForCurrentVMR takes it, ktGetHeaderOfVTCOfCurrentVMR
// fills it). Box fields are coordinates of the 256-voxel anatomical volume.
//   offset  0  HostField0     the host's
//   offset  4  NrOfVolumes    volumes of every voxel's time course
//   offset  8  HostField8     the host's
//   offset 12  HostField12    set to 1 by the plug-in; meaning is the host's
//   offset 16  VTCHeaderCode  passed through from the control file
//   offset 20  XStart         offset 24  XEnd
//   offset 28  YStart         offset 32  YEnd
//   offset 36  ZStart         offset 40  ZEnd
//   offset 44  Resolution     edge of one VTC voxel in anatomical voxels
//   offset 48  HostField48    set to 2 by the plug-in; meaning is the host's
//   offset 52 ..              the host's
struct VTCHeader {
  int32_t HostField0;
  int32_t NrOfVolumes;
  int32_t HostField8;
  int32_t HostField12;
  int32_t VTCHeaderCode;
  int32_t XStart;
  int32_t XEnd;
  int32_t YStart;
  int32_t YEnd;
  int32_t ZStart;
  int32_t ZEnd;
  int32_t Resolution;
  int32_t HostField48;
  unsigned char HostBytes[kHostRecordCapacity - 52];
};
inline constexpr std::size_t kVTCHeaderDocumentedSize = 52;
static_assert(offsetof(VTCHeader, NrOfVolumes) == 4);
static_assert(offsetof(VTCHeader, HostField12) == 12);
static_assert(offsetof(VTCHeader, VTCHeaderCode) == 16);
static_assert(offsetof(VTCHeader, XStart) == 20);
static_assert(offsetof(VTCHeader, XEnd) == 24);
static_assert(offsetof(VTCHeader, YStart) == 28);
static_assert(offsetof(VTCHeader, YEnd) == 32);
static_assert(offsetof(VTCHeader, ZStart) == 36);
static_assert(offsetof(VTCHeader, ZEnd) == 40);
static_assert(offsetof(VTCHeader, Resolution) == 44);
static_assert(offsetof(VTCHeader, HostField48) == 48);
static_assert(offsetof(VTCHeader, HostBytes) == kVTCHeaderDocumentedSize);
static_assert(sizeof(VTCHeader) == kHostRecordCapacity);

}  // namespace cohortix
