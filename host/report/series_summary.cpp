#include "host/report/series_summary.h"

#include <nifti1_io.h>
#include <zlib.h>

#include <climits>
#include <cmath>
#include <cstring>
#include <fstream>
#include <memory>

#include "host/formats/vtc_format.h"

namespace cohortix::host {
namespace {

namespace fs = std::filesystem;

constexpr std::size_t kChunkBytes = std::size_t{4} << 20;

bool isVtc(const fs::path& file) { return file.extension() == ".vtc"; }

uint64_t valueCount(const SeriesHeader& header) {
  return static_cast<uint64_t>(header.dims.x) * static_cast<uint64_t>(header.dims.y) *
         static_cast<uint64_t>(header.dims.z) * static_cast<uint64_t>(header.volumes);
}

Status checkShape(const fs::path& file, const SeriesHeader& header) {
  if (header.dims.x < 1 || header.dims.y < 1 || header.dims.z < 1 || header.volumes < 1)
    return Status::error(file.string() + ": expected a box of at least one voxel and one volume, found " +
                         std::to_string(header.dims.x) + " x " + std::to_string(header.dims.y) +
                         " x " + std::to_string(header.dims.z) + " voxels and " +
                         std::to_string(header.volumes) + " volumes");
  return Status::ok();
}

// --- .vtc: the header at documented offsets, then every voxel's time course.

template <typename T>
T fieldAt(const char* bytes, std::size_t offset) {
  T value;
  std::memcpy(&value, bytes + offset, sizeof(T));
  return value;
}

struct VtcLayout {
  SeriesHeader header;
  uint32_t dataOffset = 0;
};

Result<VtcLayout> readVtcLayout(std::ifstream& in, const fs::path& file) {
  char bytes[kVTCFileHeaderSize];
  if (!in.read(bytes, sizeof bytes) || std::memcmp(bytes, kVTCMagic, 4) != 0)
    return Status::error(file.string() + ": expected a Cohortix VTC file (magic word CXVT), found something else");
  const auto version = fieldAt<uint32_t>(bytes, 4);
  if (version != kVTCFormatVersion)
    return Status::error(file.string() + ": expected VTC format version 1, found version " +
                         std::to_string(version));
  VtcLayout layout;
  layout.dataOffset = fieldAt<uint32_t>(bytes, 8);
  layout.header.volumes = fieldAt<int32_t>(bytes, 16);
  layout.header.dims = {fieldAt<int32_t>(bytes, 64), fieldAt<int32_t>(bytes, 68),
                        fieldAt<int32_t>(bytes, 72)};
  layout.header.repetitionTime = fieldAt<double>(bytes, 76);
  if (Status shape = checkShape(file, layout.header); !shape) return shape;
  in.seekg(0, std::ios::end);
  const auto size = static_cast<uint64_t>(in.tellg());
  const uint64_t expected = layout.dataOffset + valueCount(layout.header) * sizeof(float);
  if (layout.dataOffset < kVTCFileHeaderSize || size != expected)
    return Status::error(file.string() + ": expected " + std::to_string(expected) +
                         " bytes for its header and data, found " + std::to_string(size));
  return layout;
}

Result<SeriesSummary> summariseVtc(const fs::path& file, const std::vector<std::size_t>& voxels) {
  std::ifstream in(file, std::ios::binary);
  if (!in) return Status::error("cannot read " + file.string());
  Result<VtcLayout> layout = readVtcLayout(in, file);
  if (!layout) return layout.status();
  SeriesSummary summary;
  summary.header = layout->header;
  const std::size_t n = static_cast<std::size_t>(summary.header.volumes);
  const std::size_t voxelCount = valueCount(summary.header) / n;
  summary.mean.resize(voxelCount);
  summary.sd.resize(voxelCount);
  summary.traces.resize(voxels.size());
  const std::size_t perChunk = std::max<std::size_t>(1, kChunkBytes / (n * sizeof(float)));
  std::vector<float> chunk(perChunk * n);
  in.seekg(layout->dataOffset);
  for (std::size_t first = 0; first < voxelCount; first += perChunk) {
    const std::size_t count = std::min(perChunk, voxelCount - first);
    if (!in.read(reinterpret_cast<char*>(chunk.data()), static_cast<std::streamsize>(count * n * sizeof(float))))
      return Status::error("cannot read " + file.string() + ": the data end early");
    for (std::size_t v = 0; v < count; ++v) {
      const float* course = chunk.data() + v * n;
      double sum = 0;
      for (std::size_t t = 0; t < n; ++t) sum += course[t];
      const double mean = sum / static_cast<double>(n);
      double squares = 0;
      for (std::size_t t = 0; t < n; ++t) squares += (course[t] - mean) * (course[t] - mean);
      summary.mean[first + v] = static_cast<float>(mean);
      summary.sd[first + v] = n > 1 ? static_cast<float>(std::sqrt(squares / static_cast<double>(n - 1))) : 0.0f;
    }
    for (std::size_t i = 0; i < voxels.size(); ++i)
      if (voxels[i] >= first && voxels[i] < first + count)
        summary.traces[i].assign(chunk.data() + (voxels[i] - first) * n,
                                 chunk.data() + (voxels[i] - first + 1) * n);
  }
  return summary;
}

// --- NIfTI: the header through nifti_clib, the data through zlib, which reads
// compressed and plain files alike, one volume at a time.

struct NiftiLayout {
  SeriesHeader header;
  std::size_t dataOffset = 0;
  bool swapped = false;
  float slope = 1, intercept = 0;
};

Result<NiftiLayout> readNiftiLayout(const fs::path& file) {
  std::error_code error;
  if (!fs::is_regular_file(file, error)) return Status::error("cannot read " + file.string() + ": no such file");
  std::unique_ptr<nifti_image, void (*)(nifti_image*)> image(nifti_image_read(file.c_str(), 0),
                                                              nifti_image_free);
  if (!image) return Status::error(file.string() + ": expected a NIfTI volume, found something else");
  if (image->datatype != NIFTI_TYPE_FLOAT32)
    return Status::error(file.string() + ": expected float32 data, found NIfTI data type " +
                         std::to_string(image->datatype));
  NiftiLayout layout;
  layout.header.dims = {image->nx, image->ny, image->nz};
  layout.header.volumes = image->ndim >= 4 ? image->nt : 1;
  layout.header.repetitionTime = image->dt * (image->time_units == NIFTI_UNITS_MSEC ? 0.001 : 1.0);
  if (Status shape = checkShape(file, layout.header); !shape) return shape;
  layout.dataOffset = static_cast<std::size_t>(image->iname_offset);
  layout.swapped = image->byteorder != nifti_short_order();
  if (image->scl_slope != 0.0f && std::isfinite(image->scl_slope)) {
    layout.slope = image->scl_slope;
    layout.intercept = image->scl_inter;
  }
  return layout;
}

Result<SeriesSummary> summariseNifti(const fs::path& file, const std::vector<std::size_t>& voxels) {
  Result<NiftiLayout> layout = readNiftiLayout(file);
  if (!layout) return layout.status();
  std::unique_ptr<gzFile_s, int (*)(gzFile)> in(gzopen(file.c_str(), "rb"), gzclose);
  if (!in) return Status::error("cannot read " + file.string());
  gzbuffer(in.get(), 1u << 20);
  if (gzseek(in.get(), static_cast<z_off_t>(layout->dataOffset), SEEK_SET) < 0)
    return Status::error("cannot read " + file.string() + ": the data are missing");
  SeriesSummary summary;
  summary.header = layout->header;
  const std::size_t n = static_cast<std::size_t>(summary.header.volumes);
  const std::size_t voxelCount = valueCount(summary.header) / n;
  std::vector<double> mean(voxelCount, 0.0), squares(voxelCount, 0.0);
  summary.traces.assign(voxels.size(), std::vector<float>(n));
  std::vector<float> volume(voxelCount);
  const auto bytes = static_cast<unsigned>(voxelCount * sizeof(float));
  for (std::size_t t = 0; t < n; ++t) {
    if (gzread(in.get(), volume.data(), bytes) != static_cast<int>(bytes))
      return Status::error("cannot read " + file.string() + ": the data end at volume " +
                           std::to_string(t + 1) + " of " + std::to_string(n));
    if (layout->swapped) nifti_swap_4bytes(voxelCount, volume.data());
    // Welford's update: stable over long runs of large values.
    const double count = static_cast<double>(t + 1);
    for (std::size_t v = 0; v < voxelCount; ++v) {
      const double value = static_cast<double>(volume[v]) * layout->slope + layout->intercept;
      const double delta = value - mean[v];
      mean[v] += delta / count;
      squares[v] += delta * (value - mean[v]);
    }
    for (std::size_t i = 0; i < voxels.size(); ++i)
      summary.traces[i][t] = static_cast<float>(volume[voxels[i]] * layout->slope + layout->intercept);
  }
  summary.mean.resize(voxelCount);
  summary.sd.resize(voxelCount);
  for (std::size_t v = 0; v < voxelCount; ++v) {
    summary.mean[v] = static_cast<float>(mean[v]);
    summary.sd[v] = n > 1 ? static_cast<float>(std::sqrt(squares[v] / static_cast<double>(n - 1))) : 0.0f;
  }
  return summary;
}

}  // namespace

Result<SeriesHeader> readSeriesHeader(const fs::path& file) {
  if (!isVtc(file)) {
    Result<NiftiLayout> layout = readNiftiLayout(file);
    if (!layout) return layout.status();
    return layout->header;
  }
  std::ifstream in(file, std::ios::binary);
  if (!in) return Status::error("cannot read " + file.string());
  Result<VtcLayout> layout = readVtcLayout(in, file);
  if (!layout) return layout.status();
  return layout->header;
}

Result<SeriesSummary> summariseSeries(const fs::path& file, const std::vector<std::size_t>& voxels) {
  Result<SeriesHeader> header = readSeriesHeader(file);
  if (!header) return header.status();
  const uint64_t voxelCount = valueCount(header.value()) / static_cast<uint64_t>(header->volumes);
  if (voxelCount * sizeof(float) > static_cast<uint64_t>(INT32_MAX))
    return Status::error(file.string() + ": one volume is too large to read (" +
                         std::to_string(voxelCount) + " voxels)");
  for (const std::size_t voxel : voxels)
    if (voxel >= voxelCount)
      return Status::error(file.string() + ": has no voxel number " + std::to_string(voxel));
  return isVtc(file) ? summariseVtc(file, voxels) : summariseNifti(file, voxels);
}

}  // namespace cohortix::host
