#pragma once
// The VTC of the current VMR: its header as created, its dimensions and its float
// data, one time course of NrOfVolumes values per voxel, voxel-major, time fastest.
// The data buffer stays where it is for the document's whole life: the plug-in
// writes through the pointer it was handed once.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "abi/host_records.h"

namespace cohortix::host {

struct VTCDims {
  int32_t x = 0;
  int32_t y = 0;
  int32_t z = 0;
  bool operator==(const VTCDims&) const = default;
};

// DimX = (XEnd - XStart) / Resolution etc., integer division truncating towards
// zero. The header's Resolution must be at least 1.
VTCDims vtcDimsOf(const VTCHeader& header);

// The machine's physical memory in bytes (0 when the system does not say).
uint64_t physicalMemoryBytes();

class VTCDocument {
 public:
  // A new VTC from the plug-in's header (only its documented fields are taken) and
  // the number of volumes. Refuses (null, the reason in *refusal) a Resolution
  // below 1, negative dimensions or volume count, and data whose bytes would
  // exceed the machine's physical memory.
  static std::unique_ptr<VTCDocument> create(int32_t nrOfVolumes, const VTCHeader& header,
                                             std::string* refusal);

  // The documented fields as created, NrOfVolumes at offset 4; other bytes zero.
  const VTCHeader& header() const { return *header_; }
  VTCDims dims() const { return dims_; }
  int32_t nrOfVolumes() const { return header_->NrOfVolumes; }
  float* data() { return data_.get(); }
  const float* data() const { return data_.get(); }
  std::size_t valueCount() const { return valueCount_; }

 private:
  VTCDocument() = default;
  std::unique_ptr<VTCHeader> header_;
  VTCDims dims_;
  std::size_t valueCount_ = 0;
  std::unique_ptr<float[]> data_;
};

}  // namespace cohortix::host
