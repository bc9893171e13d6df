#include "host/export/nifti_input.h"

#include <gtest/gtest.h>
#include <nifti1_io.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "host/export/nifti_writer.h"
#include "host/io/disk_interface.h"

namespace cohortix::host {
namespace {

namespace fs = std::filesystem;

fs::path scratchFolder(const std::string& name) {
  const fs::path folder = fs::path(COHORTIX_BUILD_DIR) / "test-tmp" / "nifti_input" / name;
  fs::remove_all(folder);
  fs::create_directories(folder);
  return folder;
}

std::string bytesOf(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

void writeBytes(const fs::path& file, const std::string& bytes) {
  std::ofstream(file, std::ios::binary | std::ios::trunc).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// A 3 x 2 x 2 box of 4 volumes, each value telling its place.
struct SmallSeries {
  VTCBox box{.XStart = 60, .XEnd = 69, .YStart = 40, .YEnd = 46, .ZStart = 50, .ZEnd = 56, .Resolution = 3};
  VTCDims dims = vtcDims(box);
  std::vector<float> data;  // time fastest, as the VTC holds it
  SmallSeries() {
    for (int v = 0; v < 12; ++v)
      for (int t = 0; t < 4; ++t) data.push_back(100.0f * static_cast<float>(t) + static_cast<float>(v) + 0.5f);
  }
  NiftiTimeCourse timeCourse() const { return {box, dims, 4, 1.5, data.data()}; }
};

// The whole image through open, read and finish: its values, or the refusal.
Result<std::vector<float>> readAll(const fs::path& file) {
  Result<NiftiInput> input = NiftiInput::open(file);
  if (!input) return input.status();
  std::vector<float> values(static_cast<std::size_t>(input->header().values()));
  if (Status status = input->readScaled(values.data(), values.size()); !status) return status;
  if (Status status = input->finish(); !status) return status;
  return values;
}

TEST(NiftiInput, ReadsWhatTheWriterWritesAndOtherTypesAndByteOrdersScaled) {
  RealDiskInterface disk;
  const SmallSeries series;
  for (const char* name : {"series.nii", "series.nii.gz"}) {
    SCOPED_TRACE(name);
    const fs::path file = scratchFolder("written") / name;
    ASSERT_TRUE(writeNifti(disk, file, series.timeCourse()));
    Result<NiftiInput> input = NiftiInput::open(file);
    ASSERT_TRUE(input) << input.status().message();
    const NiftiHeader& header = input->header();
    EXPECT_EQ(header.dim[0], 4);
    EXPECT_EQ(header.voxels(), 12);
    EXPECT_EQ(header.volumes(), 4);
    EXPECT_DOUBLE_EQ(header.secondsPerVolume(), 1.5);
    const TalairachAffine expected = talairachAffine(series.box);
    for (int row = 0; row < 3; ++row)
      for (int column = 0; column < 4; ++column) EXPECT_NEAR(header.affine[row][column], expected[row][column], 1e-6);
    Result<std::vector<float>> values = readAll(file);
    ASSERT_TRUE(values) << values.status().message();
    for (int t = 0; t < 4; ++t)
      for (int v = 0; v < 12; ++v) ASSERT_EQ(values.value()[t * 12 + v], series.data[v * 4 + t]);
  }
  // Big-endian int16 values with a slope and an intercept, an extension before
  // the data.
  nifti_1_header raw{};
  raw.sizeof_hdr = 348;
  raw.dim[0] = 1, raw.dim[1] = 3;
  raw.datatype = NIFTI_TYPE_INT16, raw.bitpix = 16;
  raw.vox_offset = 368;
  raw.scl_slope = 0.5f, raw.scl_inter = -2.0f;
  std::memcpy(raw.magic, "n+1", 4);
  swap_nifti_header(&raw, 1);
  std::string bytes(reinterpret_cast<const char*>(&raw), sizeof raw);
  bytes.resize(368, '\0');
  for (const int16_t value : {int16_t{4}, int16_t{-6}, int16_t{300}}) {
    bytes.push_back(static_cast<char>(static_cast<uint16_t>(value) >> 8));
    bytes.push_back(static_cast<char>(value & 0xff));
  }
  const fs::path swapped = scratchFolder("swapped") / "swapped.nii";
  writeBytes(swapped, bytes);
  Result<std::vector<float>> values = readAll(swapped);
  ASSERT_TRUE(values) << values.status().message();
  EXPECT_EQ(values.value(), (std::vector<float>{0.0f, -5.0f, 148.0f}));
}

TEST(NiftiInput, EveryCutOfAnImageAndEveryDamageOfItsGzipStreamIsRefusedNamingTheFile) {
  RealDiskInterface disk;
  const SmallSeries series;
  for (const char* name : {"series.nii", "series.nii.gz"}) {
    SCOPED_TRACE(name);
    const fs::path folder = scratchFolder("cut");
    ASSERT_TRUE(writeNifti(disk, folder / name, series.timeCourse()));
    const std::string whole = bytesOf(folder / name);
    const fs::path damaged = folder / (std::string("damaged-") + name);
    for (std::size_t size = 0; size < whole.size(); ++size) {
      writeBytes(damaged, whole.substr(0, size));
      Result<std::vector<float>> read = readAll(damaged);
      ASSERT_FALSE(read) << "cut to " << size << " bytes";
      ASSERT_EQ(read.status().message().rfind("cannot read " + damaged.string() + ": ", 0), 0u)
          << read.status().message();
    }
    if (std::string(name).ends_with(".gz")) {
      // Past the gzip header's ten bytes (flags, time, system), any byte changed
      // is caught by the decoder, the CRC-32 or the length.
      for (std::size_t at = 10; at < whole.size(); ++at) {
        std::string bytes = whole;
        bytes[at] = static_cast<char>(~bytes[at]);
        writeBytes(damaged, bytes);
        ASSERT_FALSE(readAll(damaged)) << "byte " << at << " changed";
      }
    }
  }
}

}  // namespace
}  // namespace cohortix::host
