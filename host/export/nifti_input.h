#pragma once
// The one way the host reads a NIfTI-1 image (.nii, or gzip-compressed .nii.gz),
// whoever wrote it: the header is checked against the file before any datum is
// given out (header size and magic, dimensions and their product, data offset,
// data type, scaling), the data come in order, and `finish` says whether the file
// held all of them: a gzip stream is read to its end, so its CRC-32 and length are
// checked. Every refusal is one line naming the file and what is wrong:
// "cannot read sub-03_bold.nii.gz: the header promises 17670240 bytes of data, the
// file holds 11780160". Nothing of nifti_clib that prints is called; its header
// layout, byte swapping and quaternion arithmetic are.

#include <array>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>

#include "control/vtc_geometry.h"
#include "host/io/status.h"

namespace cohortix::host {

// What a checked header says.
struct NiftiHeader {
  std::array<int64_t, 8> dim{};       // dim[0] dimensions, dim[1..7] their sizes (1 past dim[0])
  std::array<double, 8> pixdim{};     // as stored; pixdim[4] is the time step
  int datatype = 0;                   // NIFTI_TYPE_*: a real type
  int bytesPerValue = 0;
  int spaceUnits = 0, timeUnits = 0;  // NIFTI_UNITS_*
  double slope = 1.0, intercept = 0.0;  // 1 and 0 when the values are not scaled
  cohortix::TalairachAffine affine{};   // sform, else qform, else the voxel sizes
  uint64_t dataOffset = 0;              // in the uncompressed file
  uint64_t dataBytes = 0;
  bool swapped = false;  // stored in the other byte order

  int64_t voxels() const { return dim[1] * dim[2] * dim[3]; }  // per volume
  int64_t volumes() const { return dim[4] * dim[5] * dim[6] * dim[7]; }
  int64_t values() const { return voxels() * volumes(); }
  // The time step in seconds (pixdim[4] in its units).
  double secondsPerVolume() const;
  // pixdim[1..3] in millimetres.
  std::array<double, 3> voxelMillimetres() const;
};

class NiftiInput {
 public:
  // Opens the file (a regular file only, read from exactly this name) and reads
  // and checks its header.
  static Result<NiftiInput> open(const std::filesystem::path& file);
  NiftiInput(NiftiInput&&) noexcept;
  NiftiInput& operator=(NiftiInput&&) noexcept;
  ~NiftiInput();

  const NiftiHeader& header() const { return header_; }
  const std::filesystem::path& file() const { return file_; }

  // The next `count` values of the data as stored, in this machine's byte order.
  Status read(void* into, std::size_t count);
  // The next `count` values in single precision, scaled.
  Status readScaled(float* into, std::size_t count);
  // After the last value: the whole compressed stream read and checked. Data
  // already read must not be used unless this says ok.
  Status finish();

 private:
  struct Stream;
  NiftiInput(std::filesystem::path file, std::unique_ptr<Stream> stream);
  Status failure(const std::string& what) const;
  Status shortfall(uint64_t have) const;

  std::filesystem::path file_;
  std::unique_ptr<Stream> stream_;
  NiftiHeader header_;
  uint64_t valuesRead_ = 0;
};

// count values as stored in `raw` (the header's type, this machine's byte
// order), scaled, in single precision.
void scaleNiftiValues(const NiftiHeader& header, const void* raw, std::size_t count, float* out);

// The name of a NIfTI data type ("float32"), or its number.
std::string niftiTypeName(int datatype);

}  // namespace cohortix::host
