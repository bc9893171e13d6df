// Files are written whole or not at all: a disk that fails part-way, or a final
// name that cannot be taken, leaves neither a final name nor a temporary behind.

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "host/io/disk_interface.h"
#include "tests/support/failing_disk_interface.h"
#include "tests/support/scratch_folder.h"

namespace cohortix::host {
namespace {

using cohortix::testing::FailingDiskInterface;
using cohortix::testing::ScratchFolder;

std::string contentsOf(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

TEST(RealDisk, WritesThePartsAsOneFileAndReadsThemBack) {
  ScratchFolder folder;
  RealDiskInterface disk;
  const std::string_view parts[] = {"head", std::string_view("\0data", 5), ""};
  const Status written = disk.writeFile(folder / "a.vtc", parts);
  ASSERT_TRUE(written) << written.message();
  EXPECT_EQ(contentsOf(folder / "a.vtc"), std::string("head\0data", 9));
  const Result<std::string> back = disk.readFile(folder / "a.vtc");
  ASSERT_TRUE(back);
  EXPECT_EQ(back.value(), std::string("head\0data", 9));
  // Writing again replaces the file whole.
  const std::string_view again[] = {"new"};
  ASSERT_TRUE(disk.writeFile(folder / "a.vtc", again));
  EXPECT_EQ(contentsOf(folder / "a.vtc"), "new");
  EXPECT_EQ(folder.entries(), std::vector<std::string>{"a.vtc"});
}

TEST(RealDisk, ReportsTheSystemsReason) {
  ScratchFolder folder;
  RealDiskInterface disk;
  EXPECT_EQ(disk.readFile(folder / "missing.prt").status().message(), "No such file or directory");
  const std::string_view parts[] = {"x"};
  EXPECT_EQ(disk.writeFile(folder / "no-such-folder" / "a.prt", parts).message(),
            "No such file or directory");
}

TEST(RealDisk, FinalNameThatCannotBeTakenLeavesNoTemporary) {
  ScratchFolder folder;
  std::filesystem::create_directory(folder / "S1_G1_Study.vtc");
  RealDiskInterface disk;
  const std::string_view parts[] = {"data"};
  EXPECT_EQ(disk.writeFile(folder / "S1_G1_Study.vtc", parts).message(), "Is a directory");
  EXPECT_EQ(folder.entries(), std::vector<std::string>{"S1_G1_Study.vtc"});
}

TEST(FailingDisk, FullDiskLeavesNoFileUnderAFinalNameAndKeepsTheOldOne) {
  ScratchFolder folder;
  {
    std::ofstream(folder / "S1_G1_Study.vtc") << "previous run";
  }
  FailingDiskInterface disk(10);
  const std::string_view parts[] = {"0123456", "789abcdef"};
  EXPECT_EQ(disk.writeFile(folder / "S1_G1_Study.vtc", parts).message(), "No space left on device");
  EXPECT_FALSE(disk.writeFile(folder / "S2_G1_Study.vtc", parts));
  EXPECT_EQ(folder.entries(), std::vector<std::string>{"S1_G1_Study.vtc"});
  EXPECT_EQ(contentsOf(folder / "S1_G1_Study.vtc"), "previous run");
}

TEST(RealDisk, MakesNestedFoldersAndRefusesAFileInTheWay) {
  ScratchFolder folder;
  RealDiskInterface disk;
  EXPECT_TRUE(disk.makeDirs(folder / "a" / "b"));
  EXPECT_TRUE(std::filesystem::is_directory(folder / "a" / "b"));
  EXPECT_TRUE(disk.makeDirs(folder / "a" / "b")) << "an existing folder is fine";
  std::ofstream(folder / "file") << "x";
  EXPECT_EQ(disk.makeDirs(folder / "file").message(), "Not a directory");
}

}  // namespace
}  // namespace cohortix::host
