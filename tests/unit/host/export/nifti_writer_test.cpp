#include "host/export/nifti_writer.h"

#include <gtest/gtest.h>
#include <nifti1_io.h>

#include <cmath>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "host/io/disk_interface.h"
#include "tests/support/failing_disk_interface.h"

namespace cohortix::host {
namespace {

namespace fs = std::filesystem;

struct NiftiImageFree {
  void operator()(nifti_image* image) const { nifti_image_free(image); }
};

fs::path scratchFolder(const std::string& name) {
  const fs::path folder = fs::path(COHORTIX_BUILD_DIR) / "test-tmp" / "nifti_writer" / name;
  fs::remove_all(folder);
  fs::create_directories(folder);
  return folder;
}

// A 3 x 2 x 2 box of 5 volumes whose every value tells its voxel and volume.
struct SmallVTC {
  VTCBox box{.XStart = 60, .XEnd = 69, .YStart = 40, .YEnd = 46, .ZStart = 50, .ZEnd = 56,
             .Resolution = 3};
  VTCDims dims = vtcDims(box);
  int32_t volumes = 5;
  std::vector<float> data;

  SmallVTC() {
    for (int z = 0; z < dims.DimZ; ++z)
      for (int y = 0; y < dims.DimY; ++y)
        for (int x = 0; x < dims.DimX; ++x)
          for (int t = 0; t < volumes; ++t) data.push_back(valueAt(x, y, z, t));
  }
  static float valueAt(int x, int y, int z, int t) {
    return 1000.0f * static_cast<float>(t) + 100.0f * z + 10.0f * y + x + 0.25f;
  }
  NiftiTimeCourse timeCourse() const { return {box, dims, volumes, 2.5, data.data()}; }
};

std::unique_ptr<nifti_image, NiftiImageFree> readBack(const fs::path& file) {
  return std::unique_ptr<nifti_image, NiftiImageFree>(nifti_image_read(file.c_str(), 1));
}

TEST(NiftiWriter, WritesFloatVolumesInTalairachSpaceReadableBack) {
  RealDiskInterface disk;
  for (const char* name : {"study.nii", "study.nii.gz"}) {
    SCOPED_TRACE(name);
    const SmallVTC vtc;
    const fs::path file = scratchFolder("roundtrip") / name;
    ASSERT_TRUE(writeNifti(disk, file, vtc.timeCourse()));
    const auto image = readBack(file);
    ASSERT_TRUE(image);
    EXPECT_EQ(image->datatype, NIFTI_TYPE_FLOAT32);
    EXPECT_EQ(image->ndim, 4);
    EXPECT_EQ(image->nx, 3);
    EXPECT_EQ(image->ny, 2);
    EXPECT_EQ(image->nz, 2);
    EXPECT_EQ(image->nt, 5);
    EXPECT_FLOAT_EQ(image->dx, 3.0f);
    EXPECT_FLOAT_EQ(image->dt, 2.5f);
    EXPECT_EQ(image->xyz_units, NIFTI_UNITS_MM);
    EXPECT_EQ(image->time_units, NIFTI_UNITS_SEC);
    EXPECT_EQ(image->qform_code, NIFTI_XFORM_TALAIRACH);
    EXPECT_EQ(image->sform_code, NIFTI_XFORM_TALAIRACH);
    const auto* values = static_cast<const float*>(image->data);
    std::size_t index = 0;
    for (int t = 0; t < 5; ++t)
      for (int z = 0; z < 2; ++z)
        for (int y = 0; y < 2; ++y)
          for (int x = 0; x < 3; ++x)
            ASSERT_EQ(values[index++], SmallVTC::valueAt(x, y, z, t)) << x << y << z << t;
  }
}

TEST(NiftiWriter, BothTransformsTakeVoxelsToTheirTalairachPoints) {
  RealDiskInterface disk;
  const SmallVTC vtc;
  const fs::path file = scratchFolder("affine") / "study.nii";
  ASSERT_TRUE(writeNifti(disk, file, vtc.timeCourse()));
  const auto image = readBack(file);
  ASSERT_TRUE(image);
  // Voxel (i, j, k) = (2, 1, 1): Talairach x = 128 - 50 - 3, y = 128 - 60 - 6,
  // z = 128 - 40 - 3.
  const float expected[3] = {75.0f, 62.0f, 85.0f};
  for (const mat44* matrix : {&image->sto_xyz, &image->qto_xyz}) {
    for (int row = 0; row < 3; ++row) {
      const float* m = matrix->m[row];
      EXPECT_NEAR(m[0] * 2 + m[1] * 1 + m[2] * 1 + m[3], expected[row], 1e-4) << row;
    }
  }
}

TEST(TalairachAffine, UndoesTheCentreMappingToWithinHalfAVoxel) {
  const VTCBox box{60, 181, 40, 160, 50, 170, 3};
  const TalairachAffine affine = talairachAffine(box);
  for (const EffectRegion region : {EffectRegion{10, -20, 30, 1, 0}, EffectRegion{-44, 16, 2, 1, 0},
                                    EffectRegion{-52, 68, -37, 1, 0}}) {
    const VoxelIndex v = regionCentreVoxel(region, box);
    const double talairach[3] = {double(region.TalX), double(region.TalY), double(region.TalZ)};
    for (int row = 0; row < 3; ++row) {
      const auto& a = affine[row];
      const double mapped = a[0] * v.X + a[1] * v.Y + a[2] * v.Z + a[3];
      EXPECT_LE(std::abs(mapped - talairach[row]), 1.5) << region.TalX << " row " << row;
    }
  }
  // Where the offsets divide evenly the point comes back exactly.
  const VoxelIndex exact = regionCentreVoxel(EffectRegion{3, 8, 28, 1, 0}, box);
  EXPECT_EQ(affine[0][2] * exact.Z + affine[0][3], 3.0);
  EXPECT_EQ(affine[1][0] * exact.X + affine[1][3], 8.0);
  EXPECT_EQ(affine[2][1] * exact.Y + affine[2][3], 28.0);
}

TEST(NiftiWriter, ReorderingByBlocksMatchesVolumeByVolume) {
  // Voxel and volume counts on and off the reordering's tiles of four and eight.
  for (const int64_t voxels : {1, 3, 4, 8, 12, 13, 18})
    for (const int32_t volumes : {1, 4, 5, 11, 17}) {
      std::vector<float> vtc(static_cast<std::size_t>(voxels * volumes));
      for (std::size_t i = 0; i < vtc.size(); ++i) vtc[i] = static_cast<float>(i);
      for (int32_t first = 0; first < volumes; ++first)
        for (int32_t count = 1; first + count <= volumes; ++count) {
          std::vector<float> block(static_cast<std::size_t>(voxels * count), -1.0f);
          copyVolumeBlock(vtc.data(), voxels, volumes, first, count, block.data());
          for (int32_t t = 0; t < count; ++t)
            for (int64_t v = 0; v < voxels; ++v)
              ASSERT_EQ(block[static_cast<std::size_t>(t * voxels + v)],
                        vtc[static_cast<std::size_t>(v * volumes + first + t)])
                  << voxels << " voxels, " << volumes << " volumes, from " << first << " for " << count;
        }
    }
  const int64_t voxels = 12;
  EXPECT_EQ(volumesPerBlock(voxels, 5, 1), 1);
  EXPECT_EQ(volumesPerBlock(voxels, 5, 48 * 2 + 47), 2);
  EXPECT_EQ(volumesPerBlock(voxels, 5, 1 << 20), 5);
  EXPECT_EQ(volumesPerBlock(voxels, 300, 48 * 19), 16);  // whole tiles of eight where they fit
}

TEST(NiftiWriter, FailureLeavesNoFileAndNamesIt) {
  RealDiskInterface disk;
  const SmallVTC vtc;
  const fs::path folder = scratchFolder("failure");
  const fs::path missing = folder / "no-such-folder" / "study.nii";
  EXPECT_EQ(writeNifti(disk, missing, vtc.timeCourse()).message(),
            "cannot write " + missing.string() + ": No such file or directory");
  NiftiTimeCourse empty = vtc.timeCourse();
  empty.dims.DimZ = 0;
  EXPECT_EQ(writeNifti(disk, folder / "empty.nii", empty).message(),
            "cannot write " + (folder / "empty.nii").string() +
                ": DimZ is 0, a NIfTI-1 volume needs 1 to 32767");
  EXPECT_TRUE(fs::is_empty(folder));
}

TEST(NiftiWriter, EachFailingCallOfTheDiskLeavesNoFileAndNamesIt) {
  using testing::DiskCall;
  const SmallVTC vtc;
  for (const DiskCall call : {DiskCall::Create, DiskCall::Write, DiskCall::Close, DiskCall::Rename}) {
    SCOPED_TRACE(static_cast<int>(call));
    testing::FailingDiskInterface disk(call, EIO);
    const fs::path folder = scratchFolder("failing-disk");
    const fs::path file = folder / "S1_G1_Study.nii.gz";
    const Status written = writeNifti(disk, file, vtc.timeCourse());
    EXPECT_EQ(written.message(), "cannot write " + file.string() + ": Input/output error");
    EXPECT_EQ(written.file(), file.string());
    EXPECT_TRUE(fs::is_empty(folder));
  }
}

}  // namespace
}  // namespace cohortix::host
