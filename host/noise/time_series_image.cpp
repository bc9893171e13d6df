#include "host/noise/time_series_image.h"

#include <fcntl.h>
#include <nifti1_io.h>
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

struct NiftiFree {
  void operator()(nifti_image* image) const { nifti_image_free(image); }
};
using NiftiPointer = std::unique_ptr<nifti_image, NiftiFree>;

// nifti_image_read and nifti_image_load look for companions of a name (data.nii
// beside data.nii.gz) and may take the data from another file than the one named:
// the header and the data are read here from exactly this file.
Result<NiftiPointer> readNifti(const fs::path& file) {
  std::error_code error;
  if (!fs::is_regular_file(file, error))
    return failure(file, fs::exists(file, error) ? "not a regular file" : std::strerror(ENOENT));
  nifti_set_debug_level(0);
  int swapped = 0;
  nifti_1_header* header = nifti_read_header(file.c_str(), &swapped, 1);
  if (!header || std::memcmp(header->magic, "n+1", 4) != 0) {
    std::free(header);
    return failure(file, "expected a single-file NIfTI-1 image, found something else");
  }
  // The conversion wants the header as it lies in the file, to learn its byte order.
  if (swapped) swap_nifti_header(header, 1);
  NiftiPointer image(nifti_convert_nhdr2nim(*header, file.c_str()));
  std::free(header);
  if (!image) return failure(file, "expected a NIfTI-1 image, found a header nifti_clib refuses");
  uint64_t bytes = 0;
  if (image->nvox <= 0 || image->nbyper <= 0 ||
      __builtin_mul_overflow(static_cast<uint64_t>(image->nvox), static_cast<uint64_t>(image->nbyper), &bytes) ||
      (host::physicalMemoryBytes() > 0 && bytes > host::physicalMemoryBytes()))
    return failure(file, "expected an image that fits in memory, found " + std::to_string(image->nvox) +
                             " voxels of " + std::to_string(image->nbyper) + " bytes");
  // An uncompressed file must hold the data its header promises before they are
  // given memory; a compressed one says so only when read.
  if (!nifti_is_gzfile(file.c_str()) && fs::file_size(file, error) < image->iname_offset + bytes)
    return failure(file, "expected " + std::to_string(bytes) + " bytes of data after the header, found fewer");
  image->data = std::calloc(static_cast<std::size_t>(bytes), 1);
  if (!image->data) return failure(file, "cannot hold the image's " + std::to_string(bytes) + " bytes");
  znzFile in = znzopen(file.c_str(), "rb", nifti_is_gzfile(file.c_str()));
  if (znz_isnull(in)) return failure(file, std::strerror(errno));
  const bool read = znzseek(in, image->iname_offset, SEEK_SET) >= 0 &&
                    znzread(image->data, 1, static_cast<std::size_t>(bytes), in) == bytes;
  znzclose(in);
  if (!read) return failure(file, "expected " + std::to_string(bytes) + " bytes of data after the header, found fewer");
  if (image->byteorder != nifti_short_order() && image->swapsize > 1)
    nifti_swap_Nbytes(static_cast<std::size_t>(image->nvox), image->swapsize, image->data);
  return image;
}

// The value at index i of the image's data, scaled as the header says.
class NiftiValues {
 public:
  static Result<NiftiValues> of(const nifti_image& image, const fs::path& file) {
    NiftiValues values;
    values.data_ = image.data;
    values.type_ = image.datatype;
    switch (image.datatype) {
      case DT_UINT8: case DT_INT8: case DT_INT16: case DT_UINT16: case DT_INT32: case DT_UINT32:
      case DT_INT64: case DT_UINT64: case DT_FLOAT32: case DT_FLOAT64:
        break;
      default:
        return failure(file, std::string("expected real voxel values, found data type ") +
                                 nifti_datatype_string(image.datatype));
    }
    const bool scaled = image.scl_slope != 0.0f && std::isfinite(image.scl_slope);
    values.slope_ = scaled ? image.scl_slope : 1.0;
    values.intercept_ = scaled && std::isfinite(image.scl_inter) ? image.scl_inter : 0.0;
    return values;
  }
  float at(std::size_t i) const { return static_cast<float>(raw(i) * slope_ + intercept_); }

 private:
  double raw(std::size_t i) const {
    switch (type_) {
      case DT_UINT8: return static_cast<const uint8_t*>(data_)[i];
      case DT_INT8: return static_cast<const int8_t*>(data_)[i];
      case DT_INT16: return static_cast<const int16_t*>(data_)[i];
      case DT_UINT16: return static_cast<const uint16_t*>(data_)[i];
      case DT_INT32: return static_cast<const int32_t*>(data_)[i];
      case DT_UINT32: return static_cast<const uint32_t*>(data_)[i];
      case DT_INT64: return static_cast<double>(static_cast<const int64_t*>(data_)[i]);
      case DT_UINT64: return static_cast<double>(static_cast<const uint64_t*>(data_)[i]);
      case DT_FLOAT32: return static_cast<const float*>(data_)[i];
      default: return static_cast<const double*>(data_)[i];
    }
  }
  const void* data_ = nullptr;
  int type_ = 0;
  double slope_ = 1.0, intercept_ = 0.0;
};

double millimetresPer(int spaceUnits) {
  switch (spaceUnits) {
    case NIFTI_UNITS_METER: return 1000.0;
    case NIFTI_UNITS_MICRON: return 0.001;
    default: return 1.0;
  }
}

double secondsPer(int timeUnits) {
  switch (timeUnits) {
    case NIFTI_UNITS_MSEC: return 0.001;
    case NIFTI_UNITS_USEC: return 1e-6;
    default: return 1.0;
  }
}

class NiftiTimeSeries : public TimeSeriesImage {
 public:
  static Result<std::unique_ptr<TimeSeriesImage>> open(const fs::path& file);
  Status readSlice(int z, float* out) const override;

 private:
  NiftiTimeSeries(NiftiPointer image, NiftiValues values) : image_(std::move(image)), values_(values) {}
  NiftiPointer image_;
  NiftiValues values_;
};

Result<std::unique_ptr<TimeSeriesImage>> NiftiTimeSeries::open(const fs::path& file) {
  Result<NiftiPointer> read = readNifti(file);
  if (!read) return read.status();
  const nifti_image& image = *read.value();
  int extra = 1;
  for (int d = 5; d <= std::min(image.dim[0], 7); ++d) extra *= std::max(image.dim[d], 1);
  if (image.dim[0] < 4 || image.dim[4] < 2 || extra != 1)
    return failure(file, "expected a 4-D image (x, y, z and volumes), found " + std::to_string(image.dim[0]) +
                             " dimensions with " + std::to_string(image.dim[0] >= 4 ? image.dim[4] : 1) + " volumes");
  Result<NiftiValues> values = NiftiValues::of(image, file);
  if (!values) return values.status();
  NoiseGeometry g;
  g.dimX = image.dim[1];
  g.dimY = image.dim[2];
  g.dimZ = image.dim[3];
  g.volumes = image.dim[4];
  const double mm = millimetresPer(XYZT_TO_SPACE(image.xyz_units));
  g.voxelMm = {std::fabs(image.pixdim[1]) * mm, std::fabs(image.pixdim[2]) * mm, std::fabs(image.pixdim[3]) * mm};
  g.repetitionTime = image.pixdim[4] * secondsPer(XYZT_TO_TIME(image.time_units));
  for (const double size : g.voxelMm)
    if (!(size > 0.0) || !std::isfinite(size))
      return failure(file, "expected voxel sizes above 0 in the header, found " + std::to_string(size));
  if (!(g.repetitionTime > 0.0) || !std::isfinite(g.repetitionTime))
    return failure(file, "expected a repetition time above 0 in the header (pixdim[4]), found " +
                             std::to_string(g.repetitionTime));
  std::unique_ptr<NiftiTimeSeries> series(new NiftiTimeSeries(std::move(read.value()), values.value()));
  series->geometry_ = g;
  return std::unique_ptr<TimeSeriesImage>(std::move(series));
}

Status NiftiTimeSeries::readSlice(int z, float* out) const {
  const NoiseGeometry& g = geometry_;
  const std::size_t slice = static_cast<std::size_t>(g.dimX) * g.dimY;
  const std::size_t volume = slice * g.dimZ;
  for (int t = 0; t < g.volumes; ++t) {
    const std::size_t base = t * volume + z * slice;
    for (std::size_t s = 0; s < slice; ++s) out[s * g.volumes + t] = values_.at(base + s);
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
  Result<NiftiPointer> read = readNifti(file);
  if (!read) return read.status();
  const nifti_image& image = *read.value();
  int volumes = 1;
  for (int d = 4; d <= std::min(image.dim[0], 7); ++d) volumes *= std::max(image.dim[d], 1);
  if (image.dim[1] != geometry.dimX || image.dim[2] != geometry.dimY ||
      (image.dim[0] >= 3 ? image.dim[3] : 1) != geometry.dimZ || volumes != 1)
    return failure(file, "expected a mask of " + std::to_string(geometry.dimX) + " x " + std::to_string(geometry.dimY) +
                             " x " + std::to_string(geometry.dimZ) + " voxels, found " + std::to_string(image.dim[1]) +
                             " x " + std::to_string(image.dim[2]) + " x " + std::to_string(image.dim[3]) +
                             (volumes != 1 ? " with " + std::to_string(volumes) + " volumes" : std::string()));
  Result<NiftiValues> values = NiftiValues::of(image, file);
  if (!values) return values.status();
  std::vector<uint8_t> mask(geometry.voxels());
  for (std::size_t v = 0; v < mask.size(); ++v) mask[v] = values->at(v) != 0.0f ? 1 : 0;
  return mask;
}

}  // namespace cohortix::host::noise
