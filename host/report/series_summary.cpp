#include "host/report/series_summary.h"

#include <climits>
#include <cmath>
#include <cstring>
#include <fstream>
#include <memory>

#include "host/export/nifti_input.h"
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

// --- NIfTI: through the checked reader, one volume at a time.

Result<SeriesHeader> niftiSeriesHeader(const NiftiInput& input) {
  const NiftiHeader& nifti = input.header();
  SeriesHeader header;
  header.dims = {static_cast<int32_t>(nifti.dim[1]), static_cast<int32_t>(nifti.dim[2]),
                 static_cast<int32_t>(nifti.dim[3])};
  header.volumes = static_cast<int32_t>(nifti.dim[4]);
  header.repetitionTime = nifti.secondsPerVolume();
  if (nifti.dim[5] * nifti.dim[6] * nifti.dim[7] != 1)
    return Status::error(input.file().string() + ": expected at most four dimensions, found " +
                         std::to_string(nifti.dim[0]));
  return header;
}

Result<SeriesSummary> summariseNifti(const fs::path& file, const std::vector<std::size_t>& voxels) {
  Result<NiftiInput> opened = NiftiInput::open(file);
  if (!opened) return opened.status();
  NiftiInput& input = opened.value();
  Result<SeriesHeader> header = niftiSeriesHeader(input);
  if (!header) return header.status();
  SeriesSummary summary;
  summary.header = header.value();
  const std::size_t n = static_cast<std::size_t>(summary.header.volumes);
  const std::size_t voxelCount = valueCount(summary.header) / n;
  std::vector<double> mean(voxelCount, 0.0), squares(voxelCount, 0.0);
  summary.traces.assign(voxels.size(), std::vector<float>(n));
  std::vector<float> volume(voxelCount);
  for (std::size_t t = 0; t < n; ++t) {
    if (Status status = input.readScaled(volume.data(), voxelCount); !status) return status;
    // Welford's update: stable over long runs of large values.
    const double count = static_cast<double>(t + 1);
    for (std::size_t v = 0; v < voxelCount; ++v) {
      const double value = volume[v];
      const double delta = value - mean[v];
      mean[v] += delta / count;
      squares[v] += delta * (value - mean[v]);
    }
    for (std::size_t i = 0; i < voxels.size(); ++i) summary.traces[i][t] = volume[voxels[i]];
  }
  // Nothing of a damaged file is used: the summary stands only once the whole
  // stream has been read and checked.
  if (Status status = input.finish(); !status) return status;
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
    Result<NiftiInput> input = NiftiInput::open(file);
    if (!input) return input.status();
    Result<SeriesHeader> header = niftiSeriesHeader(input.value());
    if (!header) return header.status();
    if (Status shape = checkShape(file, header.value()); !shape) return shape;
    return header;
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
