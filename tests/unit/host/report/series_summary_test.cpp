// A subject's data read once: the .vtc (time courses voxel by voxel) and the NIfTI
// volumes (volume by volume, plain or compressed) give the same means, standard
// deviations and traces as computing them from the values directly.

#include "host/report/series_summary.h"

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <random>

#include "host/export/nifti_writer.h"
#include "host/formats/vtc_format.h"
#include "host/io/disk_interface.h"
#include "tests/support/scratch_folder.h"

namespace cohortix::host {
namespace {

namespace fs = std::filesystem;

// A 4 x 3 x 5 box (Resolution 3) of 37 volumes, values around 1000 with noise and
// a different level per voxel.
struct Series {
  cohortix::VTCBox box{.XStart = 60, .XEnd = 72, .YStart = 40, .YEnd = 49, .ZStart = 50, .ZEnd = 65,
                       .Resolution = 3};
  cohortix::VTCDims dims = vtcDims(box);
  int32_t volumes = 37;
  std::vector<float> data;

  Series() {
    std::mt19937 generator(7);
    std::normal_distribution<float> noise(0.0f, 15.0f);
    const int voxels = dims.DimX * dims.DimY * dims.DimZ;
    for (int v = 0; v < voxels; ++v)
      for (int t = 0; t < volumes; ++t) data.push_back(1000.0f + 3.0f * static_cast<float>(v) + noise(generator));
  }
  std::size_t voxelCount() const { return data.size() / static_cast<std::size_t>(volumes); }
  const float* course(std::size_t voxel) const { return data.data() + voxel * static_cast<std::size_t>(volumes); }

  void writeVtc(const fs::path& file) const {
    VTCHeader header{};
    header.NrOfVolumes = volumes;
    header.XStart = box.XStart, header.XEnd = box.XEnd, header.YStart = box.YStart, header.YEnd = box.YEnd;
    header.ZStart = box.ZStart, header.ZEnd = box.ZEnd, header.Resolution = box.Resolution;
    std::ofstream out(file, std::ios::binary);
    out << formatVTCFileHeader(header, {dims.DimX, dims.DimY, dims.DimZ}, 2.5)
        << vtcDataBytes(data.data(), data.size());
  }
};

void expectSummaryOf(const Series& series, const SeriesSummary& summary, const std::vector<std::size_t>& voxels) {
  ASSERT_EQ(summary.header.dims, (VTCDims{series.dims.DimX, series.dims.DimY, series.dims.DimZ}));
  ASSERT_EQ(summary.header.volumes, series.volumes);
  EXPECT_DOUBLE_EQ(summary.header.repetitionTime, 2.5);
  ASSERT_EQ(summary.mean.size(), series.voxelCount());
  const auto n = static_cast<std::size_t>(series.volumes);
  for (std::size_t v = 0; v < series.voxelCount(); ++v) {
    double sum = 0, squares = 0;
    for (std::size_t t = 0; t < n; ++t) sum += series.course(v)[t];
    const double mean = sum / static_cast<double>(n);
    for (std::size_t t = 0; t < n; ++t) squares += std::pow(series.course(v)[t] - mean, 2);
    EXPECT_NEAR(summary.mean[v], mean, 1e-3) << "voxel " << v;
    EXPECT_NEAR(summary.sd[v], std::sqrt(squares / static_cast<double>(n - 1)), 1e-3) << "voxel " << v;
  }
  ASSERT_EQ(summary.traces.size(), voxels.size());
  for (std::size_t i = 0; i < voxels.size(); ++i)
    EXPECT_EQ(summary.traces[i], std::vector<float>(series.course(voxels[i]), series.course(voxels[i]) + n));
}

TEST(SeriesSummary, NativeAndNiftiFilesGiveTheStatisticsOfTheirValues) {
  testing::ScratchFolder folder;
  const Series series;
  series.writeVtc(folder / "S1_G1_Study.vtc");
  RealDiskInterface disk;
  const NiftiTimeCourse course{series.box, series.dims, series.volumes, 2.5, series.data.data()};
  ASSERT_TRUE(writeNifti(disk, folder / "plain.nii", course).isOk());
  ASSERT_TRUE(writeNifti(disk, folder / "compressed.nii.gz", course).isOk());
  // The first voxel, one in the middle, the last.
  const std::vector<std::size_t> voxels = {0, 29, series.voxelCount() - 1};
  for (const char* name : {"S1_G1_Study.vtc", "plain.nii", "compressed.nii.gz"}) {
    SCOPED_TRACE(name);
    const Result<SeriesSummary> summary = summariseSeries(folder / name, voxels);
    ASSERT_TRUE(summary) << summary.status().message();
    expectSummaryOf(series, summary.value(), voxels);
  }
}

TEST(SeriesSummary, RefusesFilesThatDoNotHoldWhatTheirHeaderPromises) {
  testing::ScratchFolder folder;
  const Series series;
  const fs::path vtc = folder / "S1_G1_Study.vtc";
  series.writeVtc(vtc);
  EXPECT_FALSE(summariseSeries(vtc, {series.voxelCount()}));  // no such voxel

  fs::resize_file(vtc, fs::file_size(vtc) - 4);
  const Result<SeriesSummary> shortFile = summariseSeries(vtc, {});
  ASSERT_FALSE(shortFile);
  EXPECT_NE(shortFile.status().message().find("expected " + std::to_string(84 + 4 * series.data.size()) +
                                              " bytes"),
            std::string::npos)
      << shortFile.status().message();

  std::ofstream(folder / "text.nii.gz") << "not a volume";
  EXPECT_FALSE(summariseSeries(folder / "text.nii.gz", {}));
  const Result<SeriesHeader> missing = readSeriesHeader(folder / "missing.nii");
  ASSERT_FALSE(missing);
  EXPECT_NE(missing.status().message().find("missing.nii"), std::string::npos);
}

}  // namespace
}  // namespace cohortix::host
