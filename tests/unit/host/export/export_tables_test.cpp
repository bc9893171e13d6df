#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "host/export/design_tsv.h"
#include "host/io/disk_interface.h"
#include "host/export/events_tsv.h"
#include "host/export/export_file.h"
#include "host/export/json_text.h"
#include "tests/support/failing_disk_interface.h"

namespace cohortix::host {
namespace {

namespace fs = std::filesystem;

TEST(EventsTable, TrialsTakeSecondsFromVolumeNumbersInTimeOrder) {
  const double tr = 2.5;
  const std::string table = eventsTable({trialEventOf({9, 18}, tr, "A2 x B1"),
                                         trialEventOf({1, 8}, tr, "A1 x B1"),
                                         trialEventOf({24, 24}, tr, "A1\tx B2")});
  EXPECT_EQ(table,
            "onset\tduration\ttrial_type\n"
            "0\t20\tA1 x B1\n"
            "20\t25\tA2 x B1\n"
            "57.5\t2.5\tA1 x B2\n");
}

TEST(EventsTable, FractionalRepetitionTimesPrintWithoutBinaryNoise) {
  EXPECT_EQ(eventsTable({trialEventOf({4, 6}, 0.1, "A")}),
            "onset\tduration\ttrial_type\n0.3\t0.3\tA\n");
}

TEST(DesignTable, OneNamedColumnPerPredictorAndOneRowPerVolume) {
  const std::string table =
      designTable({{"A1", {0.0f, 0.1f, 1.0f / 3.0f}}, {"A2", {1.0f, -2.5e-7f, 0.0f}}});
  EXPECT_EQ(table, "A1\tA2\n0\t1\n0.1\t-2.5e-07\n0.33333334\t0\n");
}

TEST(JsonText, QuotesAndEscapesEveryCharacterThatWouldBreakAString) {
  EXPECT_EQ(jsonString("plain"), "\"plain\"");
  EXPECT_EQ(jsonString("a \"b\" \\ c\n\x01"), R"("a \"b\" \\ c\n\u0001")");
  EXPECT_EQ(jsonString("Caf\xc3\xa9"), "\"Caf\xc3\xa9\"");
}

TEST(ExportFile, AFailedWriteLeavesTheOldFileAndNamesTheNewOne) {
  const fs::path folder = fs::path(COHORTIX_BUILD_DIR) / "test-tmp" / "export_file";
  fs::remove_all(folder);
  fs::create_directories(folder);
  std::ofstream(folder / "table.tsv") << "old\n";
  testing::FailingDiskInterface full(2);
  const Status failed = writeExportText(full, folder / "table.tsv", "new\n");
  EXPECT_EQ(failed.message(), "cannot write " + (folder / "table.tsv").string() +
                                  ": No space left on device");
  EXPECT_EQ(failed.file(), (folder / "table.tsv").string());
  std::ifstream in(folder / "table.tsv");
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "old\n");
  EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator()), 1);
  RealDiskInterface disk;
  ASSERT_TRUE(writeExportText(disk, folder / "table.tsv", "new\n"));
  std::ifstream again(folder / "table.tsv");
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(again), {}), "new\n");
}

}  // namespace
}  // namespace cohortix::host
