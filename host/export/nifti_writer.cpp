#include "host/export/nifti_writer.h"

#include <nifti1_io.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <optional>
#include <utility>
#include <string>
#if defined(__SSE2__)
#include <immintrin.h>
#endif
#include <vector>

#include "host/export/export_file.h"
#include "host/export/parallel_gzip.h"
#include "host/io/disk_interface.h"

namespace cohortix::host {
namespace {

namespace fs = std::filesystem;

// One block of volumes is all the reordering holds beside the VTC itself.
constexpr int64_t kBlockBytes = int64_t{8} << 20;
// Volumes in one tile of the reordering's widest registers.
constexpr int64_t kTileVolumes = 8;
// A NIfTI-1 dimension is a signed 16-bit count.
constexpr int32_t kMaxNiftiDimension = 32767;

struct NiftiImageFree {
  void operator()(nifti_image* image) const { nifti_image_free(image); }
};
using NiftiImage = std::unique_ptr<nifti_image, NiftiImageFree>;

// Why the volume cannot be a NIfTI-1 volume, or "" when it can.
std::string shapeProblem(const NiftiTimeCourse& volume) {
  const std::pair<int32_t, const char*> dimensions[] = {{volume.dims.DimX, "DimX"},
                                                        {volume.dims.DimY, "DimY"},
                                                        {volume.dims.DimZ, "DimZ"},
                                                        {volume.NrOfVolumes, "the number of volumes"}};
  for (const auto& [value, name] : dimensions)
    if (value < 1 || value > kMaxNiftiDimension)
      return std::string(name) + " is " + std::to_string(value) + ", a NIfTI-1 volume needs 1 to 32767";
  if (volume.box.Resolution < 1) return "the resolution is below 1";
  if (!(volume.repetitionTime > 0.0)) return "the repetition time is not positive";
  if (volume.data == nullptr) return "the VTC holds no data";
  return {};
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

// The library prints its own complaints to the standard error; ours say what failed.
void quietLibrary() {
  static const bool quiet = (nifti_set_debug_level(0), true);
  static_cast<void>(quiet);
}

// The header and the empty extension block that precede the data of a single-file
// NIfTI-1 image; null when they do not come out at the image's data offset.
std::optional<std::string> headerBytesOf(nifti_image& image) {
  image.nifti_type = NIFTI_FTYPE_NIFTI1_1;
  nifti_set_iname_offset(&image);
  const nifti_1_header header = nifti_convert_nim2nhdr(&image);
  std::string bytes(reinterpret_cast<const char*>(&header), sizeof header);
  // The extender: four zero bytes, no extension follows; the data start at 352.
  bytes.append(4, '\0');
  if (bytes.size() != static_cast<std::size_t>(image.iname_offset)) return std::nullopt;
  return bytes;
}

// The header of a volume time course; null when the library cannot make the image.
std::optional<std::string> headerBytes(const NiftiTimeCourse& volume) {
  quietLibrary();
  const int dims[8] = {4, volume.dims.DimX, volume.dims.DimY, volume.dims.DimZ,
                       volume.NrOfVolumes, 1, 1, 1};
  NiftiImage image(nifti_make_new_nim(dims, NIFTI_TYPE_FLOAT32, 0));
  if (!image) return std::nullopt;
  setSpacing(*image, volume);
  setTalairachTransforms(*image, volume.box);
  std::strncpy(image->descrip, "Cohortix simulated volume time course",
               sizeof image->descrip - 1);
  return headerBytesOf(*image);
}

int64_t voxelCount(const cohortix::VTCDims& dims) {
  return int64_t{dims.DimX} * dims.DimY * dims.DimZ;
}

Status writeVolumes(FileSink& sink, const NiftiTimeCourse& volume) {
  const int64_t voxels = voxelCount(volume.dims);
  const int32_t perBlock = volumesPerBlock(voxels, volume.NrOfVolumes, kBlockBytes);
  std::vector<float> block(static_cast<std::size_t>(voxels * perBlock));
  for (int32_t first = 0; first < volume.NrOfVolumes; first += perBlock) {
    const int32_t count = std::min(perBlock, volume.NrOfVolumes - first);
    copyVolumeBlock(volume.data, voxels, volume.NrOfVolumes, first, count, block.data());
    const std::size_t bytes = static_cast<std::size_t>(voxels * count) * sizeof(float);
    Status written = sink.write(std::string_view(reinterpret_cast<const char*>(block.data()), bytes));
    if (!written) return written;
  }
  return Status::ok();
}

Status writeImage(FileSink& sink, const std::string& header, const NiftiTimeCourse& volume) {
  Status written = sink.write(header);
  return written ? writeVolumes(sink, volume) : written;
}

Status writeCompressed(FileSink& sink, const std::string& header, const NiftiTimeCourse& volume,
                       int level) {
  ParallelGzipSink gzip(sink, level);
  Status written = writeImage(gzip, header, volume);
  return written ? gzip.finish() : written;
}

bool compressedName(const fs::path& file) {
  const std::string name = file.filename().string();
  return name.size() >= 3 && name.compare(name.size() - 3, 3, ".gz") == 0;
}

std::string mapsProblem(const NiftiMaps& maps) {
  const std::pair<int32_t, const char*> dimensions[] = {{maps.dims.DimX, "DimX"},
                                                        {maps.dims.DimY, "DimY"},
                                                        {maps.dims.DimZ, "DimZ"},
                                                        {maps.NrOfMaps, "the number of maps"}};
  for (const auto& [value, name] : dimensions)
    if (value < 1 || value > kMaxNiftiDimension)
      return std::string(name) + " is " + std::to_string(value) + ", a NIfTI-1 volume needs 1 to 32767";
  if (maps.data == nullptr && maps.labels == nullptr) return "the map holds no data";
  return {};
}

int intentCodeOf(MapIntent intent) {
  switch (intent) {
    case MapIntent::None: break;
    case MapIntent::Estimate: return NIFTI_INTENT_ESTIMATE;
    case MapIntent::TTest: return NIFTI_INTENT_TTEST;
    case MapIntent::Label: return NIFTI_INTENT_LABEL;
    case MapIntent::PValue: return NIFTI_INTENT_PVAL;
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

std::optional<std::string> mapsHeaderBytes(const NiftiMaps& maps) {
  quietLibrary();
  const int dims[8] = {maps.NrOfMaps > 1 ? 4 : 3, maps.dims.DimX, maps.dims.DimY, maps.dims.DimZ,
                       maps.NrOfMaps, 1, 1, 1};
  NiftiImage image(
      nifti_make_new_nim(dims, maps.labels != nullptr ? NIFTI_TYPE_INT16 : NIFTI_TYPE_FLOAT32, 0));
  if (!image) return std::nullopt;
  setMapSpacing(*image, maps.affine);
  setTransforms(*image, matrixOf(maps.affine));
  image->intent_code = intentCodeOf(maps.intent);
  if (maps.intent == MapIntent::TTest) image->intent_p1 = static_cast<float>(maps.degreesOfFreedom);
  std::strncpy(image->descrip, maps.description.c_str(), sizeof image->descrip - 1);
  return headerBytesOf(*image);
}

// The header, then the bytes; compressed at the default level for a ".gz" name.
Status writeHeaderAndData(FileSink& sink, bool compressed, const std::string& header,
                          std::string_view data) {
  if (!compressed) {
    Status written = sink.write(header);
    return written ? sink.write(data) : written;
  }
  ParallelGzipSink gzip(sink, kDefaultGzipLevel);
  Status written = gzip.write(header);
  if (written) written = gzip.write(data);
  return written ? gzip.finish() : written;
}

}  // namespace

Status writeNiftiMaps(DiskInterface& disk, const fs::path& file, const NiftiMaps& maps) {
  const std::string problem = mapsProblem(maps);
  if (!problem.empty()) return cannotWrite(Status::error(problem), file);
  const std::optional<std::string> header = mapsHeaderBytes(maps);
  if (!header) return cannotWrite(Status::error("the NIfTI library could not make its header"), file);
  const auto values = static_cast<std::size_t>(voxelCount(maps.dims) * maps.NrOfMaps);
  const std::string_view data =
      maps.labels != nullptr
          ? std::string_view(reinterpret_cast<const char*>(maps.labels), values * sizeof(int16_t))
          : std::string_view(reinterpret_cast<const char*>(maps.data), values * sizeof(float));
  const bool compressed = compressedName(file);
  return cannotWrite(disk.writeFileWith(file,
                                        [&](FileSink& sink) {
                                          return writeHeaderAndData(sink, compressed, *header, data);
                                        }),
                     file);
}

int32_t volumesPerBlock(int64_t voxels, int32_t volumes, int64_t bytes) {
  int64_t fit = bytes / (std::max<int64_t>(voxels, 1) * int64_t{sizeof(float)});
  // Whole tiles of the reordering, eight volumes wide, where a block holds them.
  if (fit >= kTileVolumes) fit -= fit % kTileVolumes;
  return static_cast<int32_t>(std::clamp<int64_t>(fit, 1, std::max(volumes, 1)));
}

namespace {

void copySeries(const float* vtc, int64_t voxels, int32_t volumes, int32_t first, int32_t count,
                int64_t voxel, float* block) {
  const float* series = vtc + voxel * volumes + first;
  for (int32_t t = 0; t < count; ++t) block[t * voxels + voxel] = series[t];
}

#if defined(__SSE2__)
// Four voxels' series at once, four volumes at a time transposed in registers:
// the reads run along each series and the writes along each volume, where copying
// voxel by voxel sends every write to another volume (about three times slower on
// the full-brain box).
void copyFourSeries(const float* vtc, int64_t voxels, int32_t volumes, int32_t first, int32_t count,
                    int64_t voxel, float* block) {
  const float* s0 = vtc + voxel * volumes + first;
  const float* s1 = s0 + volumes;
  const float* s2 = s1 + volumes;
  const float* s3 = s2 + volumes;
  int32_t t = 0;
  for (; t + 4 <= count; t += 4) {
    __m128 a = _mm_loadu_ps(s0 + t), b = _mm_loadu_ps(s1 + t), c = _mm_loadu_ps(s2 + t),
           d = _mm_loadu_ps(s3 + t);
    _MM_TRANSPOSE4_PS(a, b, c, d);
    float* out = block + t * voxels + voxel;
    _mm_storeu_ps(out, a);
    _mm_storeu_ps(out + voxels, b);
    _mm_storeu_ps(out + 2 * voxels, c);
    _mm_storeu_ps(out + 3 * voxels, d);
  }
  for (; t < count; ++t) {
    float* out = block + t * voxels + voxel;
    out[0] = s0[t];
    out[1] = s1[t];
    out[2] = s2[t];
    out[3] = s3[t];
  }
}
#endif

#if defined(__x86_64__)
__attribute__((target("avx2"))) inline void transposeEight(__m256 (&rows)[8]) {
  const __m256 t0 = _mm256_unpacklo_ps(rows[0], rows[1]), t1 = _mm256_unpackhi_ps(rows[0], rows[1]);
  const __m256 t2 = _mm256_unpacklo_ps(rows[2], rows[3]), t3 = _mm256_unpackhi_ps(rows[2], rows[3]);
  const __m256 t4 = _mm256_unpacklo_ps(rows[4], rows[5]), t5 = _mm256_unpackhi_ps(rows[4], rows[5]);
  const __m256 t6 = _mm256_unpacklo_ps(rows[6], rows[7]), t7 = _mm256_unpackhi_ps(rows[6], rows[7]);
  const __m256 u0 = _mm256_shuffle_ps(t0, t2, 0x44), u1 = _mm256_shuffle_ps(t0, t2, 0xEE);
  const __m256 u2 = _mm256_shuffle_ps(t1, t3, 0x44), u3 = _mm256_shuffle_ps(t1, t3, 0xEE);
  const __m256 u4 = _mm256_shuffle_ps(t4, t6, 0x44), u5 = _mm256_shuffle_ps(t4, t6, 0xEE);
  const __m256 u6 = _mm256_shuffle_ps(t5, t7, 0x44), u7 = _mm256_shuffle_ps(t5, t7, 0xEE);
  rows[0] = _mm256_permute2f128_ps(u0, u4, 0x20);
  rows[1] = _mm256_permute2f128_ps(u1, u5, 0x20);
  rows[2] = _mm256_permute2f128_ps(u2, u6, 0x20);
  rows[3] = _mm256_permute2f128_ps(u3, u7, 0x20);
  rows[4] = _mm256_permute2f128_ps(u0, u4, 0x31);
  rows[5] = _mm256_permute2f128_ps(u1, u5, 0x31);
  rows[6] = _mm256_permute2f128_ps(u2, u6, 0x31);
  rows[7] = _mm256_permute2f128_ps(u3, u7, 0x31);
}

// Eight voxels' series at once, eight volumes at a time: whole 32-byte rows read
// and written, in about half the time of four by four on the full-brain box.
__attribute__((target("avx2"))) void copyEightSeries(const float* vtc, int64_t voxels,
                                                     int32_t volumes, int32_t first,
                                                     int32_t count, int64_t voxel, float* block) {
  const float* series = vtc + voxel * volumes + first;
  int32_t t = 0;
  for (; t + kTileVolumes <= count; t += kTileVolumes) {
    __m256 rows[8];
    for (int k = 0; k < 8; ++k) rows[k] = _mm256_loadu_ps(series + k * volumes + t);
    transposeEight(rows);
    float* out = block + t * voxels + voxel;
    for (int k = 0; k < 8; ++k) _mm256_storeu_ps(out + k * voxels, rows[k]);
  }
  for (; t < count; ++t)
    for (int k = 0; k < 8; ++k) block[t * voxels + voxel + k] = series[k * volumes + t];
}

bool hasAvx2() {
  static const bool has = __builtin_cpu_supports("avx2");
  return has;
}
#endif

}  // namespace

void copyVolumeBlock(const float* vtc, int64_t voxels, int32_t volumes, int32_t first,
                     int32_t count, float* block) {
  int64_t voxel = 0;
#if defined(__x86_64__)
  if (hasAvx2())
    for (; voxel + 8 <= voxels; voxel += 8) copyEightSeries(vtc, voxels, volumes, first, count, voxel, block);
#endif
#if defined(__SSE2__)
  for (; voxel + 4 <= voxels; voxel += 4) copyFourSeries(vtc, voxels, volumes, first, count, voxel, block);
#endif
  for (; voxel < voxels; ++voxel) copySeries(vtc, voxels, volumes, first, count, voxel, block);
}

Status writeNifti(DiskInterface& disk, const fs::path& file, const NiftiTimeCourse& volume) {
  return writeNifti(disk, file, volume, kDefaultGzipLevel);
}

Status writeNifti(DiskInterface& disk, const fs::path& file, const NiftiTimeCourse& volume,
                  int gzipLevel) {
  if (!validGzipLevel(gzipLevel))
    return cannotWrite(Status::error("the compression level " + std::to_string(gzipLevel) +
                                     " is not one of " + std::to_string(kMinGzipLevel) + " to " +
                                     std::to_string(kMaxGzipLevel)),
                       file);
  const std::string problem = shapeProblem(volume);
  if (!problem.empty()) return cannotWrite(Status::error(problem), file);
  const std::optional<std::string> header = headerBytes(volume);
  if (!header) return cannotWrite(Status::error("the NIfTI library could not make its header"), file);
  const bool compressed = compressedName(file);
  return cannotWrite(disk.writeFileWith(file,
                                        [&](FileSink& sink) {
                                          return compressed ? writeCompressed(sink, *header, volume, gzipLevel)
                                                            : writeImage(sink, *header, volume);
                                        }),
                     file);
}

}  // namespace cohortix::host
