#include "host/export/nifti_writer.h"

#include <nifti1_io.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "host/export/export_file.h"

namespace cohortix::host {
namespace {

namespace fs = std::filesystem;

// One block of volumes is all the reordering holds beside the VTC itself.
constexpr int64_t kBlockBytes = int64_t{8} << 20;
// A NIfTI-1 dimension is a signed 16-bit count.
constexpr int32_t kMaxNiftiDimension = 32767;

struct NiftiImageFree {
  void operator()(nifti_image* image) const { nifti_image_free(image); }
};
using NiftiImage = std::unique_ptr<nifti_image, NiftiImageFree>;

void checkDimension(int32_t value, const char* name) {
  if (value < 1 || value > kMaxNiftiDimension)
    throw std::runtime_error(std::string(name) + " is " + std::to_string(value) +
                             ", a NIfTI-1 volume needs 1 to 32767");
}

void checkShape(const NiftiTimeCourse& volume) {
  checkDimension(volume.dims.DimX, "DimX");
  checkDimension(volume.dims.DimY, "DimY");
  checkDimension(volume.dims.DimZ, "DimZ");
  checkDimension(volume.NrOfVolumes, "the number of volumes");
  if (volume.box.Resolution < 1) throw std::runtime_error("the resolution is below 1");
  if (!(volume.repetitionTime > 0.0))
    throw std::runtime_error("the repetition time is not positive");
  if (volume.data == nullptr) throw std::runtime_error("the VTC holds no data");
}

mat44 matrixOf(const TalairachAffine& affine) {
  mat44 matrix{};
  for (int row = 0; row < 3; ++row)
    for (int column = 0; column < 4; ++column)
      matrix.m[row][column] = static_cast<float>(affine[row][column]);
  matrix.m[3][3] = 1.0f;
  return matrix;
}

void setSpacing(nifti_image& image, const NiftiTimeCourse& volume) {
  const float mm = static_cast<float>(volume.box.Resolution);
  image.dx = image.dy = image.dz = mm;
  image.dt = static_cast<float>(volume.repetitionTime);
  image.pixdim[1] = image.pixdim[2] = image.pixdim[3] = mm;
  image.pixdim[4] = image.dt;
  image.xyz_units = NIFTI_UNITS_MM;
  image.time_units = NIFTI_UNITS_SEC;
}

// The sform carries the affine exactly; the qform is its rigid form with the
// voxel size and qfac, which the matrix's mirror (determinant below 0) needs.
void setTransforms(nifti_image& image, const mat44& affine) {
  image.sto_xyz = affine;
  image.sto_ijk = nifti_mat44_inverse(image.sto_xyz);
  float dx = 0, dy = 0, dz = 0;
  nifti_mat44_to_quatern(image.sto_xyz, &image.quatern_b, &image.quatern_c, &image.quatern_d,
                         &image.qoffset_x, &image.qoffset_y, &image.qoffset_z, &dx, &dy, &dz,
                         &image.qfac);
  image.qto_xyz = nifti_quatern_to_mat44(image.quatern_b, image.quatern_c, image.quatern_d,
                                         image.qoffset_x, image.qoffset_y, image.qoffset_z,
                                         image.dx, image.dy, image.dz, image.qfac);
  image.qto_ijk = nifti_mat44_inverse(image.qto_xyz);
  image.qform_code = image.sform_code = NIFTI_XFORM_TALAIRACH;
}

void setTalairachTransforms(nifti_image& image, const cohortix::VTCBox& box) {
  setTransforms(image, matrixOf(talairachAffine(box)));
}

void setFileName(nifti_image& image, const fs::path& path) {
  image.fname = strdup(path.c_str());
  image.iname = strdup(path.c_str());
  if (image.fname == nullptr || image.iname == nullptr) throw std::bad_alloc();
  image.nifti_type = NIFTI_FTYPE_NIFTI1_1;
  nifti_set_iname_offset(&image);
}

NiftiImage headerOnlyImage(const NiftiTimeCourse& volume, const fs::path& path) {
  const int dims[8] = {4, volume.dims.DimX, volume.dims.DimY, volume.dims.DimZ,
                       volume.NrOfVolumes, 1, 1, 1};
  NiftiImage image(nifti_make_new_nim(dims, NIFTI_TYPE_FLOAT32, 0));
  if (!image) throw std::bad_alloc();
  setSpacing(*image, volume);
  setTalairachTransforms(*image, volume.box);
  std::strncpy(image->descrip, "Cohortix simulated volume time course",
               sizeof image->descrip - 1);
  setFileName(*image, path);
  return image;
}

std::runtime_error writeFailure() {
  const int error = errno;
  return std::runtime_error(error != 0 ? std::strerror(error)
                                       : "the NIfTI library could not write it");
}

int64_t voxelCount(const cohortix::VTCDims& dims) {
  return int64_t{dims.DimX} * dims.DimY * dims.DimZ;
}

void writeVolumes(znzFile file, const NiftiTimeCourse& volume) {
  const int64_t voxels = voxelCount(volume.dims);
  const int32_t perBlock = volumesPerBlock(voxels, volume.NrOfVolumes, kBlockBytes);
  std::vector<float> block(static_cast<std::size_t>(voxels * perBlock));
  for (int32_t first = 0; first < volume.NrOfVolumes; first += perBlock) {
    const int32_t count = std::min(perBlock, volume.NrOfVolumes - first);
    copyVolumeBlock(volume.data, voxels, volume.NrOfVolumes, first, count, block.data());
    const std::size_t bytes = static_cast<std::size_t>(voxels * count) * sizeof(float);
    errno = 0;
    if (nifti_write_buffer(file, block.data(), bytes) != bytes) throw writeFailure();
  }
}

void writeNiftiTo(const fs::path& path, const NiftiTimeCourse& volume) {
  NiftiImage image = headerOnlyImage(volume, path);
  errno = 0;
  // Level 1: simulated noise barely compresses, and higher levels only cost time.
  znzFile file = nifti_image_write_hdr_img2(image.get(), 2, "wb1", nullptr, nullptr);
  if (znz_isnull(file)) throw writeFailure();
  try {
    writeVolumes(file, volume);
  } catch (...) {
    znzclose(file);
    throw;
  }
  errno = 0;
  if (znzclose(file) != 0) throw writeFailure();
}

void checkMaps(const NiftiMaps& maps) {
  checkDimension(maps.dims.DimX, "DimX");
  checkDimension(maps.dims.DimY, "DimY");
  checkDimension(maps.dims.DimZ, "DimZ");
  checkDimension(maps.NrOfMaps, "the number of maps");
  if (maps.data == nullptr) throw std::runtime_error("the map holds no data");
}

int intentCodeOf(MapIntent intent) {
  switch (intent) {
    case MapIntent::None: break;
    case MapIntent::Estimate: return NIFTI_INTENT_ESTIMATE;
    case MapIntent::TTest: return NIFTI_INTENT_TTEST;
    case MapIntent::Label: return NIFTI_INTENT_LABEL;
  }
  return NIFTI_INTENT_NONE;
}

// The voxel size along each axis is the length of the affine's column.
void setMapSpacing(nifti_image& image, const cohortix::TalairachAffine& affine) {
  float* sizes[3] = {&image.dx, &image.dy, &image.dz};
  for (int axis = 0; axis < 3; ++axis) {
    double squares = 0.0;
    for (int row = 0; row < 3; ++row) squares += affine[row][axis] * affine[row][axis];
    *sizes[axis] = static_cast<float>(std::sqrt(squares));
    image.pixdim[axis + 1] = *sizes[axis];
  }
  image.xyz_units = NIFTI_UNITS_MM;
}

void writeMapsTo(const fs::path& path, const NiftiMaps& maps) {
  const int dims[8] = {maps.NrOfMaps > 1 ? 4 : 3, maps.dims.DimX, maps.dims.DimY, maps.dims.DimZ,
                       maps.NrOfMaps, 1, 1, 1};
  NiftiImage image(nifti_make_new_nim(dims, NIFTI_TYPE_FLOAT32, 0));
  if (!image) throw std::bad_alloc();
  setMapSpacing(*image, maps.affine);
  setTransforms(*image, matrixOf(maps.affine));
  image->intent_code = intentCodeOf(maps.intent);
  if (maps.intent == MapIntent::TTest) image->intent_p1 = static_cast<float>(maps.degreesOfFreedom);
  std::strncpy(image->descrip, maps.description.c_str(), sizeof image->descrip - 1);
  setFileName(*image, path);
  errno = 0;
  znzFile file = nifti_image_write_hdr_img2(image.get(), 2, "wb1", nullptr, nullptr);
  if (znz_isnull(file)) throw writeFailure();
  const std::size_t bytes = static_cast<std::size_t>(voxelCount(maps.dims) * maps.NrOfMaps) *
                            sizeof(float);
  errno = 0;
  if (nifti_write_buffer(file, maps.data, bytes) != bytes) {
    const std::runtime_error failure = writeFailure();
    znzclose(file);
    throw failure;
  }
  errno = 0;
  if (znzclose(file) != 0) throw writeFailure();
}

}  // namespace

void writeNiftiMaps(DiskInterface& disk, const fs::path& file, const NiftiMaps& maps) {
  try {
    checkMaps(maps);
  } catch (const std::exception& error) {
    throw ExportError(file, "cannot write " + file.string() + ": " + error.what());
  }
  writeExportFile(disk, file, [&maps](const fs::path& temporary) { writeMapsTo(temporary, maps); });
}

int32_t volumesPerBlock(int64_t voxels, int32_t volumes, int64_t bytes) {
  const int64_t fit = bytes / (std::max<int64_t>(voxels, 1) * int64_t{sizeof(float)});
  return static_cast<int32_t>(std::clamp<int64_t>(fit, 1, std::max(volumes, 1)));
}

void copyVolumeBlock(const float* vtc, int64_t voxels, int32_t volumes, int32_t first,
                     int32_t count, float* block) {
  for (int64_t voxel = 0; voxel < voxels; ++voxel) {
    const float* series = vtc + voxel * volumes + first;
    for (int32_t t = 0; t < count; ++t) block[t * voxels + voxel] = series[t];
  }
}

void writeNifti(DiskInterface& disk, const fs::path& file, const NiftiTimeCourse& volume) {
  try {
    checkShape(volume);
  } catch (const std::exception& error) {
    throw ExportError(file, "cannot write " + file.string() + ": " + error.what());
  }
  writeExportFile(disk, file,
                  [&volume](const fs::path& temporary) { writeNiftiTo(temporary, volume); });
}

}  // namespace cohortix::host
