#include "host/formats/vtc_format.h"

#include <bit>
#include <cstring>


namespace cohortix::host {
namespace {

static_assert(std::endian::native == std::endian::little,
              "the .vtc data are written straight from memory as little-endian floats");

template <typename T>
void put(std::string& out, T value) {
  char bytes[sizeof(T)];
  std::memcpy(bytes, &value, sizeof(T));
  out.append(bytes, sizeof(T));
}

template <typename T>
T get(std::string_view bytes, std::size_t offset) {
  T value;
  std::memcpy(&value, bytes.data() + offset, sizeof(T));
  return value;
}

Status fail(const std::string& fileName, const std::string& what) {
  return Status::error(fileName + ": " + what);
}

Status checkPreamble(std::string_view bytes, const std::string& fileName) {
  if (bytes.size() < kVTCFileHeaderSize || std::memcmp(bytes.data(), kVTCMagic, 4) != 0)
    return fail(fileName, "expected a Cohortix VTC file (magic word CXVT), found something else");
  const uint32_t version = get<uint32_t>(bytes, 4);
  if (version != kVTCFormatVersion)
    return fail(fileName, "expected VTC format version 1, found version " + std::to_string(version));
  return Status::ok();
}

VTCFile readHeader(std::string_view bytes) {
  VTCFile file;
  for (std::size_t i = 0; i < kVTCHeaderFieldCount; ++i) file.fields[i] = get<int32_t>(bytes, 12 + 4 * i);
  file.dims = {get<int32_t>(bytes, 64), get<int32_t>(bytes, 68), get<int32_t>(bytes, 72)};
  file.repetitionTime = get<double>(bytes, 76);
  return file;
}

// The number of values the header promises, or false when it cannot be a size.
bool promisedValues(const VTCFile& file, uint64_t* count) {
  *count = 1;
  for (const int32_t factor : {file.dims.x, file.dims.y, file.dims.z, file.nrOfVolumes()}) {
    if (factor < 0) return false;
    if (__builtin_mul_overflow(*count, static_cast<uint64_t>(factor), count)) return false;
  }
  return *count <= UINT64_MAX / sizeof(float);
}

}  // namespace

std::string formatVTCFileHeader(const VTCHeader& header, VTCDims dims, double repetitionTime) {
  std::string out(kVTCMagic, 4);
  put<uint32_t>(out, kVTCFormatVersion);
  put<uint32_t>(out, kVTCFileHeaderSize);
  const auto* fields = reinterpret_cast<const unsigned char*>(&header);
  out.append(reinterpret_cast<const char*>(fields), kVTCHeaderFieldCount * 4);
  put<int32_t>(out, dims.x);
  put<int32_t>(out, dims.y);
  put<int32_t>(out, dims.z);
  put<double>(out, repetitionTime);
  return out;
}

std::string_view vtcDataBytes(const float* data, std::size_t count) {
  return {reinterpret_cast<const char*>(data), count * sizeof(float)};
}

Result<VTCFile> parseVTCFileHeader(std::string_view head, uint64_t fileSize,
                                   const std::string& fileName, uint64_t* dataOffset) {
  Status preamble = checkPreamble(head, fileName);
  if (!preamble) return preamble;
  *dataOffset = get<uint32_t>(head, 8);
  if (*dataOffset < kVTCFileHeaderSize || *dataOffset > fileSize)
    return fail(fileName, "expected the data offset within the file, found " + std::to_string(*dataOffset));
  VTCFile file = readHeader(head);
  uint64_t count = 0;
  const uint64_t found = fileSize - *dataOffset;
  const std::string shape = "dimensions X " + std::to_string(file.dims.x) + ", Y " +
                            std::to_string(file.dims.y) + ", Z " + std::to_string(file.dims.z) +
                            " and " + std::to_string(file.nrOfVolumes()) + " volumes";
  if (!promisedValues(file, &count))
    return fail(fileName, "expected dimensions and volumes that give a size, found " + shape);
  if (count * sizeof(float) != found) {
    return fail(fileName, "expected " + std::to_string(count * sizeof(float)) + " bytes of data for " +
                       shape + ", found " + std::to_string(found));
  }
  return file;
}

Result<VTCFile> parseVTCFile(std::string_view bytes, const std::string& fileName) {
  uint64_t dataOffset = 0;
  Result<VTCFile> file = parseVTCFileHeader(bytes, bytes.size(), fileName, &dataOffset);
  if (!file) return file;
  const std::size_t count = (bytes.size() - dataOffset) / sizeof(float);
  file->data.resize(count);
  std::memcpy(file->data.data(), bytes.data() + dataOffset, count * sizeof(float));
  return file;
}

}  // namespace cohortix::host
