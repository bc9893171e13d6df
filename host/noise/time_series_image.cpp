#include "host/noise/time_series_image.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>

#include "host/documents/vtc_document.h"
#include "host/export/nifti_input.h"
#include "host/formats/vtc_format.h"
#include "host/io/file_descriptors.h"

namespace cohortix::host::noise {
namespace {

namespace fs = std::filesystem;

bool endsWith(const std::string& text, const std::string& ending) {
  return text.size() >= ending.size() && text.compare(text.size() - ending.size(), ending.size(), ending) == 0;
}

std::string lowerCase(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

Status failure(const fs::path& file, const std::string& what) {
  return Status::error(file.string() + ": " + what);
}

// --- .vtc ------------------------------------------------------------------------

class VtcTimeSeries : public TimeSeriesImage {
 public:
  static Result<std::unique_ptr<TimeSeriesImage>> open(const fs::path& file);
  ~VtcTimeSeries() override {
    if (fd_ >= 0) ::close(fd_);
  }
  Status readSlice(int z, float* out) const override;

 private:
  fs::path file_;
  int fd_ = -1;
  uint64_t dataOffset_ = 0;
};

template <typename T>
T fieldAt(const unsigned char* bytes, std::size_t offset) {
  T value;
  std::memcpy(&value, bytes + offset, sizeof(T));
  return value;
}

Result<std::unique_ptr<TimeSeriesImage>> VtcTimeSeries::open(const fs::path& file) {
  auto image = std::make_unique<VtcTimeSeries>();
  image->file_ = file;
  image->fd_ = openFile(file, O_RDONLY);
  if (image->fd_ < 0) return failure(file, std::strerror(errno));
  unsigned char header[host::kVTCFileHeaderSize];
  const ssize_t got = ::pread(image->fd_, header, sizeof header, 0);
  if (got != static_cast<ssize_t>(sizeof header) || std::memcmp(header, host::kVTCMagic, 4) != 0)
    return failure(file, "expected a Cohortix VTC file (magic word CXVT), found something else");
  const auto version = fieldAt<uint32_t>(header, 4);
  if (version != host::kVTCFormatVersion)
    return failure(file, "expected VTC format version 1, found version " + std::to_string(version));
  image->dataOffset_ = fieldAt<uint32_t>(header, 8);
  NoiseGeometry& g = image->geometry_;
  g.volumes = fieldAt<int32_t>(header, 12 + 4 * 1);
  const auto resolution = fieldAt<int32_t>(header, 12 + 4 * 11);
  g.dimX = fieldAt<int32_t>(header, 64);
  g.dimY = fieldAt<int32_t>(header, 68);
  g.dimZ = fieldAt<int32_t>(header, 72);
  g.repetitionTime = fieldAt<double>(header, 76);
  g.voxelMm = {static_cast<double>(resolution), static_cast<double>(resolution), static_cast<double>(resolution)};
  if (g.dimX < 1 || g.dimY < 1 || g.dimZ < 1 || g.volumes < 1 || resolution < 1)
    return failure(file, "expected positive dimensions, volumes and resolution, found " + std::to_string(g.dimX) +
                             " x " + std::to_string(g.dimY) + " x " + std::to_string(g.dimZ) + ", " +
                             std::to_string(g.volumes) + " volumes, resolution " + std::to_string(resolution));
  struct stat status {};
  if (::fstat(image->fd_, &status) != 0) return failure(file, std::strerror(errno));
  uint64_t bytes = sizeof(float);
  bool overflow = false;
  for (const int32_t factor : {g.dimX, g.dimY, g.dimZ, g.volumes})
    overflow = overflow || __builtin_mul_overflow(bytes, static_cast<uint64_t>(factor), &bytes);
  const uint64_t expected = image->dataOffset_ + bytes;
  if (overflow || image->dataOffset_ < host::kVTCFileHeaderSize || static_cast<uint64_t>(status.st_size) != expected)
    return failure(file, "expected " + (overflow ? std::string("a size its dimensions can have") : std::to_string(expected) + " bytes for its dimensions") +
                             ", found " + std::to_string(status.st_size) + " bytes");
  return std::unique_ptr<TimeSeriesImage>(std::move(image));
}

Status VtcTimeSeries::readSlice(int z, float* out) const {
  const std::size_t bytes = static_cast<std::size_t>(geometry_.dimX) * geometry_.dimY * geometry_.volumes * sizeof(float);
  uint64_t offset = dataOffset_ + static_cast<uint64_t>(z) * bytes;
  auto* into = reinterpret_cast<char*>(out);
  std::size_t done = 0;
  while (done < bytes) {
    const ssize_t got = ::pread(fd_, into + done, bytes - done, static_cast<off_t>(offset + done));
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return failure(file_, got < 0 ? std::strerror(errno) : "the file ended early");
    done += static_cast<std::size_t>(got);
  }
  return Status::ok();
}

// --- NIfTI ------------------------------------------------------------------------

// A NIfTI image read whole through the checked reader, in its own data type.
struct NiftiData {
  NiftiHeader header;
  std::vector<unsigned char> raw;

  // Values first .. first + count, scaled.
  void scaled(std::size_t first, std::size_t count, float* out) const {
    scaleNiftiValues(header, raw.data() + first * static_cast<std::size_t>(header.bytesPerValue), count, out);
  }
};

Result<NiftiData> readNifti(const fs::path& file) {
  Result<NiftiInput> opened = NiftiInput::open(file);
  if (!opened) return opened.status();
  NiftiInput& input = opened.value();
  NiftiData image{input.header(), {}};
  const uint64_t memory = host::physicalMemoryBytes();
  if (memory > 0 && image.header.dataBytes > memory)
    return failure(file, "expected an image that fits in memory, found " + std::to_string(image.header.values()) +
                             " values of " + std::to_string(image.header.bytesPerValue) + " bytes");
  image.raw.resize(static_cast<std::size_t>(image.header.dataBytes));
  if (Status status = input.read(image.raw.data(), static_cast<std::size_t>(image.header.values())); !status)
    return status;
  if (Status status = input.finish(); !status) return status;
  return image;
}

class NiftiTimeSeries : public TimeSeriesImage {
 public:
  static Result<std::unique_ptr<TimeSeriesImage>> open(const fs::path& file);
  Status readSlice(int z, float* out) const override;

 private:
  explicit NiftiTimeSeries(NiftiData image) : image_(std::move(image)) {}
  NiftiData image_;
};

Result<std::unique_ptr<TimeSeriesImage>> NiftiTimeSeries::open(const fs::path& file) {
  Result<NiftiData> read = readNifti(file);
  if (!read) return read.status();
  const NiftiHeader& header = read->header;
  if (header.dim[0] < 4 || header.dim[4] < 2 || header.dim[5] * header.dim[6] * header.dim[7] != 1)
    return failure(file, "expected a 4-D image (x, y, z and volumes), found " + std::to_string(header.dim[0]) +
                             " dimensions with " + std::to_string(header.dim[0] >= 4 ? header.dim[4] : 1) + " volumes");
  NoiseGeometry g;
  g.dimX = static_cast<int>(header.dim[1]);
  g.dimY = static_cast<int>(header.dim[2]);
  g.dimZ = static_cast<int>(header.dim[3]);
  g.volumes = static_cast<int>(header.dim[4]);
  const std::array<double, 3> mm = header.voxelMillimetres();
  g.voxelMm = {mm[0], mm[1], mm[2]};
  g.repetitionTime = header.secondsPerVolume();
  for (const double size : g.voxelMm)
    if (!(size > 0.0) || !std::isfinite(size))
      return failure(file, "expected voxel sizes above 0 in the header, found " + std::to_string(size));
  if (!(g.repetitionTime > 0.0) || !std::isfinite(g.repetitionTime))
    return failure(file, "expected a repetition time above 0 in the header (pixdim[4]), found " +
                             std::to_string(g.repetitionTime));
  std::unique_ptr<NiftiTimeSeries> series(new NiftiTimeSeries(std::move(read.value())));
  series->geometry_ = g;
  return std::unique_ptr<TimeSeriesImage>(std::move(series));
}

Status NiftiTimeSeries::readSlice(int z, float* out) const {
  const NoiseGeometry& g = geometry_;
  const std::size_t slice = static_cast<std::size_t>(g.dimX) * g.dimY;
  const std::size_t volume = slice * g.dimZ;
  std::vector<float> values(slice);
  for (int t = 0; t < g.volumes; ++t) {
    image_.scaled(t * volume + z * slice, slice, values.data());
    for (std::size_t s = 0; s < slice; ++s) out[s * g.volumes + t] = values[s];
  }
  return Status::ok();
}

}  // namespace

MemoryTimeSeries::MemoryTimeSeries(const NoiseGeometry& geometry, const float* data) : data_(data) {
  geometry_ = geometry;
}

Status MemoryTimeSeries::readSlice(int z, float* out) const {
  const std::size_t values = static_cast<std::size_t>(geometry_.dimX) * geometry_.dimY * geometry_.volumes;
  std::memcpy(out, data_ + z * values, values * sizeof(float));
  return Status::ok();
}

Result<std::unique_ptr<TimeSeriesImage>> openTimeSeriesImage(const fs::path& file) {
  const std::string name = lowerCase(file.filename().string());
  if (endsWith(name, ".vtc")) return VtcTimeSeries::open(file);
  if (endsWith(name, ".nii") || endsWith(name, ".nii.gz")) return NiftiTimeSeries::open(file);
  return failure(file, "expected a .vtc, .nii or .nii.gz image, found another kind of file");
}

Result<std::vector<uint8_t>> readMask(const fs::path& file, const NoiseGeometry& geometry) {
  Result<NiftiData> read = readNifti(file);
  if (!read) return read.status();
  const NiftiHeader& header = read->header;
  if (header.dim[1] != geometry.dimX || header.dim[2] != geometry.dimY || header.dim[3] != geometry.dimZ ||
      header.volumes() != 1)
    return failure(file, "expected a mask of " + std::to_string(geometry.dimX) + " x " + std::to_string(geometry.dimY) +
                             " x " + std::to_string(geometry.dimZ) + " voxels, found " + std::to_string(header.dim[1]) +
                             " x " + std::to_string(header.dim[2]) + " x " + std::to_string(header.dim[3]) +
                             (header.volumes() != 1 ? " with " + std::to_string(header.volumes()) + " volumes"
                                                    : std::string()));
  std::vector<float> values(geometry.voxels());
  read->scaled(0, values.size(), values.data());
  std::vector<uint8_t> mask(geometry.voxels());
  for (std::size_t v = 0; v < mask.size(); ++v) mask[v] = values[v] != 0.0f ? 1 : 0;
  return mask;
}

}  // namespace cohortix::host::noise
