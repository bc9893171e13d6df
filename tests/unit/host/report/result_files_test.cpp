// Where the report finds an analysis and a power table, and what it refuses: a
// place it looks for by itself may be empty; a named one, a table without its
// columns, or a map whose file name would leave the analysis folder is an error
// that names the file.

#include "host/report/result_files.h"

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>

#include "host/io/disk_interface.h"
#include "tests/support/scratch_folder.h"

namespace cohortix::host {
namespace {

namespace fs = std::filesystem;

const char kMapsHeader[] =
    "map\ttest\tgroups\teffect\tsubjects\tdf\ttail\tcorrection\talpha\tp_threshold\tt_threshold\t"
    "tested_voxels\tsignificant_voxels\tmax_abs_t\n";
const char kPowerTable[] =
    "subjects\tscope\teffect\tregion\tmeasure\ttrue_effect\testimate\tci_low\tci_high\tanalytic\treplicates\n"
    "4\tall\tFaces\tRegion1\troi_power\t0.6000\t0.5000\t0.2366\t0.7634\tNA\t10\n";

void write(const fs::path& file, const std::string& text) {
  fs::create_directories(file.parent_path());
  std::ofstream(file) << text;
}

TEST(ResultFiles, FoundWhereTheCommandsWriteThemAndAbsentWithoutHarm) {
  testing::ScratchFolder folder;
  RealDiskInterface disk;
  const fs::path run = folder.path() / "run";
  fs::create_directories(run);
  ResultFiles none(run, disk);
  EXPECT_FALSE(none.groupMaps().value());
  EXPECT_FALSE(none.powerTable().value());

  // A BIDS dataset keeps its analysis among its derivatives.
  write(run / "dataset_description.json", "{}\n");
  write(run / "derivatives" / "analysis" / "maps.tsv",
        std::string(kMapsHeader) + "all_cell1-Faces\tone-sample t\tall\tFaces\t8\t7\ttwo\tfdr\t0.05\t0.001\t4.2\t900\t57\t9.5\n");
  write(run / "power" / "power.tsv", kPowerTable);
  ResultFiles found(run, disk);
  const auto maps = found.groupMaps();
  ASSERT_TRUE(maps && maps.value()) << maps.status().message();
  ASSERT_EQ(maps.value()->size(), 1u);
  EXPECT_EQ(maps.value()->front().significantVoxels, 57);
  const auto power = found.powerTable();
  ASSERT_TRUE(power && power.value()) << power.status().message();
  EXPECT_EQ(power.value()->front().subjects, 4);
  EXPECT_DOUBLE_EQ(power.value()->front().high, 0.7634);
  EXPECT_TRUE(std::isnan(power.value()->front().analytic));
}

TEST(ResultFiles, NamedMissingOrMalformedResultsAreRefusedWithTheFileNamed) {
  testing::ScratchFolder folder;
  RealDiskInterface disk;
  const fs::path missing = folder.path() / "elsewhere";
  const auto absent = ResultFiles(folder.path(), disk, missing).groupMaps();
  ASSERT_FALSE(absent);
  EXPECT_NE(absent.status().message().find((missing / "maps.tsv").string()), std::string::npos);

  const fs::path outside = folder.path() / "outside";
  write(outside / "maps.tsv",
        std::string(kMapsHeader) + "../../x\tone-sample t\tall\tFaces\t8\t7\ttwo\tfdr\t0.05\t0.001\t4.2\t900\t57\t9.5\n");
  const auto escaping = ResultFiles(folder.path(), disk, outside).groupMaps();
  ASSERT_FALSE(escaping);
  EXPECT_NE(escaping.status().message().find("\"../../x\""), std::string::npos);

  const fs::path table = folder.path() / "short.tsv";
  write(table, "subjects\tscope\n4\tall\n");
  const auto columns = ResultFiles(folder.path(), disk, {}, table).powerTable();
  ASSERT_FALSE(columns);
  EXPECT_NE(columns.status().message().find(table.string() + ":1: expected a column \"effect\""), std::string::npos)
      << columns.status().message();
}

}  // namespace
}  // namespace cohortix::host
