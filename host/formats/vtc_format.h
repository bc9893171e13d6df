#pragma once
// .vtc: our binary volume time course. A little-endian header (magic word, format
// version, the offset of the data, the documented header fields, the dimensions and
// the repetition time) followed by the float32 data, little-endian, in the run's
// layout: voxel-major, time fastest. docs/formats.md gives the offsets.

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "host/documents/vtc_document.h"
#include "host/io/status.h"

namespace cohortix::host {

inline constexpr char kVTCMagic[4] = {'C', 'X', 'V', 'T'};
inline constexpr uint32_t kVTCFormatVersion = 1;
inline constexpr std::size_t kVTCFileHeaderSize = 84;
inline constexpr std::size_t kVTCHeaderFieldCount = 13;  // offsets 0 to 48 of the record

// What a .vtc file holds.
struct VTCFile {
  std::array<int32_t, kVTCHeaderFieldCount> fields{};  // the record's documented fields
  VTCDims dims;
  double repetitionTime = 0.0;
  std::vector<float> data;

  int32_t nrOfVolumes() const { return fields[1]; }
};

// The file's header bytes; the data follow them unchanged.
std::string formatVTCFileHeader(const VTCHeader& header, VTCDims dims, double repetitionTime);

// The data as the bytes that follow the header (the machine's own floats, which are
// little-endian on every machine the host runs on).
std::string_view vtcDataBytes(const float* data, std::size_t count);

// The header of a file of fileSize bytes that begins with head (at least the header
// record, or the whole file when shorter): every check of parseVTCFile, the data
// left out (file.data is empty). *dataOffset tells where they start.
Result<VTCFile> parseVTCFileHeader(std::string_view head, uint64_t fileSize,
                                   const std::string& fileName, uint64_t* dataOffset);

// Fails naming fileName for anything it cannot read.
Result<VTCFile> parseVTCFile(std::string_view bytes, const std::string& fileName);

}  // namespace cohortix::host
