#include "host/analysis/nifti_reader.h"

#include <nifti1_io.h>

#include <cmath>
#include <cstring>
#include <memory>

namespace cohortix::host {
namespace {

struct NiftiImageFree {
  void operator()(nifti_image* image) const { nifti_image_free(image); }
};
using NiftiImage = std::unique_ptr<nifti_image, NiftiImageFree>;

template <typename Stored>
void convert(const void* raw, std::size_t count, float slope, float intercept, float* out) {
  const auto* values = static_cast<const Stored*>(raw);
  for (std::size_t i = 0; i < count; ++i)
    out[i] = static_cast<float>(static_cast<double>(values[i]) * slope + intercept);
}

Status convertData(const nifti_image& image, std::vector<float>& out) {
  const auto count = static_cast<std::size_t>(image.nvox);
  out.resize(count);
  // A slope of 0 means the values are stored unscaled.
  const float slope = image.scl_slope != 0.0f && std::isfinite(image.scl_slope) ? image.scl_slope : 1.0f;
  const float intercept = image.scl_slope != 0.0f && std::isfinite(image.scl_inter) ? image.scl_inter : 0.0f;
  switch (image.datatype) {
    case NIFTI_TYPE_UINT8: convert<uint8_t>(image.data, count, slope, intercept, out.data()); break;
    case NIFTI_TYPE_INT8: convert<int8_t>(image.data, count, slope, intercept, out.data()); break;
    case NIFTI_TYPE_INT16: convert<int16_t>(image.data, count, slope, intercept, out.data()); break;
    case NIFTI_TYPE_UINT16: convert<uint16_t>(image.data, count, slope, intercept, out.data()); break;
    case NIFTI_TYPE_INT32: convert<int32_t>(image.data, count, slope, intercept, out.data()); break;
    case NIFTI_TYPE_UINT32: convert<uint32_t>(image.data, count, slope, intercept, out.data()); break;
    case NIFTI_TYPE_INT64: convert<int64_t>(image.data, count, slope, intercept, out.data()); break;
    case NIFTI_TYPE_UINT64: convert<uint64_t>(image.data, count, slope, intercept, out.data()); break;
    case NIFTI_TYPE_FLOAT32: convert<float>(image.data, count, slope, intercept, out.data()); break;
    case NIFTI_TYPE_FLOAT64: convert<double>(image.data, count, slope, intercept, out.data()); break;
    default:
      return Status::error(std::string("values of type ") + nifti_datatype_string(image.datatype) +
                           " are not supported");
  }
  return Status::ok();
}

cohortix::TalairachAffine affineOf(const nifti_image& image) {
  mat44 matrix = image.sform_code > 0 ? image.sto_xyz : image.qto_xyz;
  if (image.sform_code <= 0 && image.qform_code <= 0) {
    matrix = mat44{};
    matrix.m[0][0] = image.dx, matrix.m[1][1] = image.dy, matrix.m[2][2] = image.dz;
  }
  cohortix::TalairachAffine affine{};
  for (int row = 0; row < 3; ++row)
    for (int column = 0; column < 4; ++column) affine[row][column] = matrix.m[row][column];
  return affine;
}

double secondsPerVolume(const nifti_image& image) {
  if (image.nt <= 1) return 0.0;
  switch (image.time_units) {
    case NIFTI_UNITS_MSEC: return image.dt / 1000.0;
    case NIFTI_UNITS_USEC: return image.dt / 1e6;
    default: return image.dt;
  }
}

}  // namespace

Result<NiftiVolume> readNifti(const std::filesystem::path& file) {
  nifti_set_debug_level(0);
  NiftiImage image(nifti_image_read(file.c_str(), 1));
  if (!image || image->data == nullptr)
    return Status::error("cannot read " + file.string() + ": not a readable NIfTI image");
  if (image->nu > 1 || image->nv > 1 || image->nw > 1)
    return Status::error(file.string() + ": images of more than four dimensions are not supported");
  NiftiVolume volume;
  volume.dims = {static_cast<int32_t>(image->nx), static_cast<int32_t>(image->ny),
                 static_cast<int32_t>(image->nz)};
  volume.volumes = static_cast<int32_t>(std::max<int64_t>(1, image->nt));
  volume.affine = affineOf(*image);
  volume.repetitionTime = secondsPerVolume(*image);
  if (Status status = convertData(*image, volume.data); !status)
    return std::move(status).context(file.string());
  return volume;
}

std::vector<float> volumeOf(const NiftiVolume& image, int32_t volume) {
  const auto voxels = static_cast<std::size_t>(image.voxels());
  const auto first = image.data.begin() + static_cast<std::ptrdiff_t>(voxels * volume);
  return std::vector<float>(first, first + static_cast<std::ptrdiff_t>(voxels));
}

std::vector<float> timeFastest(const NiftiVolume& image) {
  const auto voxels = static_cast<std::size_t>(image.voxels());
  const auto volumes = static_cast<std::size_t>(image.volumes);
  std::vector<float> series(image.data.size());
  for (std::size_t t = 0; t < volumes; ++t)
    for (std::size_t v = 0; v < voxels; ++v) series[v * volumes + t] = image.data[t * voxels + v];
  return series;
}

bool sameGrid(const NiftiVolume& a, const NiftiVolume& b) {
  if (a.dims.DimX != b.dims.DimX || a.dims.DimY != b.dims.DimY || a.dims.DimZ != b.dims.DimZ)
    return false;
  for (int row = 0; row < 3; ++row)
    for (int column = 0; column < 4; ++column)
      if (std::fabs(a.affine[row][column] - b.affine[row][column]) > 1e-3) return false;
  return true;
}

}  // namespace cohortix::host
