#include "host/documents/vtc_document.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <unistd.h>
#endif

#include <cstring>
#include <new>

#include "control/vtc_geometry.h"

namespace cohortix::host {
namespace {

std::string dimsText(VTCDims dims) {
  return "X " + std::to_string(dims.x) + ", Y " + std::to_string(dims.y) + ", Z " +
         std::to_string(dims.z);
}

// The byte count of the data, or false when it does not even fit 64 bits.
bool dataBytes(VTCDims dims, int32_t nrOfVolumes, uint64_t* bytes) {
  uint64_t count = sizeof(float);
  for (const int64_t factor : {int64_t{dims.x}, int64_t{dims.y}, int64_t{dims.z}, int64_t{nrOfVolumes}})
    if (__builtin_mul_overflow(count, static_cast<uint64_t>(factor), &count)) return false;
  *bytes = count;
  return true;
}

std::string refusalOf(int32_t nrOfVolumes, const VTCHeader& header, uint64_t* bytes) {
  if (header.Resolution < 1)
    return "Resolution " + std::to_string(header.Resolution) + " is below 1";
  const VTCDims dims = vtcDimsOf(header);
  if (dims.x < 0 || dims.y < 0 || dims.z < 0) return "negative dimensions (" + dimsText(dims) + ")";
  if (nrOfVolumes < 0) return "a negative number of volumes (" + std::to_string(nrOfVolumes) + ")";
  const uint64_t memory = physicalMemoryBytes();
  if (!dataBytes(dims, nrOfVolumes, bytes) || (memory > 0 && *bytes > memory)) {
    return "its data (" + dimsText(dims) + ", " + std::to_string(nrOfVolumes) +
           " volumes) would exceed the machine's physical memory of " + std::to_string(memory) +
           " bytes";
  }
  return {};
}

}  // namespace

VTCDims vtcDimsOf(const VTCHeader& header) {
  const cohortix::VTCDims dims = vtcDims(boxOfHeader(header));
  return {dims.DimX, dims.DimY, dims.DimZ};
}

#ifdef _WIN32
uint64_t physicalMemoryBytes() {
  MEMORYSTATUSEX status{};
  status.dwLength = sizeof status;
  return GlobalMemoryStatusEx(&status) ? status.ullTotalPhys : 0;
}
#else
uint64_t physicalMemoryBytes() {
  const long pages = sysconf(_SC_PHYS_PAGES);
  const long pageSize = sysconf(_SC_PAGE_SIZE);
  if (pages <= 0 || pageSize <= 0) return 0;
  return static_cast<uint64_t>(pages) * static_cast<uint64_t>(pageSize);
}
#endif

std::unique_ptr<VTCDocument> VTCDocument::create(int32_t nrOfVolumes, const VTCHeader& header,
                                                 std::string* refusal) {
  uint64_t bytes = 0;
  *refusal = refusalOf(nrOfVolumes, header, &bytes);
  if (!refusal->empty()) return nullptr;
  std::unique_ptr<VTCDocument> vtc(new VTCDocument);
  vtc->header_ = std::make_unique<VTCHeader>();
  std::memcpy(vtc->header_.get(), &header, kVTCHeaderDocumentedSize);
  vtc->header_->NrOfVolumes = nrOfVolumes;
  vtc->dims_ = vtcDimsOf(header);
  vtc->valueCount_ = static_cast<std::size_t>(bytes / sizeof(float));
  vtc->data_.reset(new (std::nothrow) float[vtc->valueCount_]());
  if (vtc->data_ == nullptr) {
    *refusal = "not enough memory for its " + std::to_string(bytes) + " bytes of data";
    return nullptr;
  }
  return vtc;
}

}  // namespace cohortix::host
