// Files are written whole or not at all: a disk that fails part-way, or a final
// name that cannot be taken, leaves neither a final name nor a temporary behind.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <new>
#include <sstream>

#include "host/io/disk_interface.h"
#include "host/io/file_descriptors.h"
#include "tests/support/failing_disk_interface.h"
#include "tests/support/scratch_folder.h"

namespace cohortix::host {
namespace {

using cohortix::testing::DiskCall;
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

TEST(RealDisk, AWriterThatThrowsLeavesNoTemporaryAndCountsNothing) {
  ScratchFolder folder;
  RealDiskInterface disk;
  const Status outOfMemory = disk.writeFileWith(folder / "S1_G1_Study.nii", [](FileSink& sink) {
    static_cast<void>(sink.write("half a volume"));
    throw std::bad_alloc();
    return Status::ok();
  });
  EXPECT_EQ(outOfMemory.message(), "not enough memory to write it");
  EXPECT_THROW(static_cast<void>(disk.writeFileWith(folder / "S1_G1_Study.vtc",
                                                    [](FileSink&) -> Status { throw 7; })),
               int);
  EXPECT_TRUE(folder.entries().empty());
  EXPECT_EQ(disk.written().files, 0u);
  const std::string_view parts[] = {"1234", "56"};
  ASSERT_TRUE(disk.writeFile(folder / "a.prt", parts));
  EXPECT_EQ(disk.written().files, 1u);
  EXPECT_EQ(disk.written().bytes, 6u);
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

// Large files go past the cache in whole aligned blocks, gathered from pieces of
// any size; their last bytes, and files on file systems without such writes (a
// tmpfs), go through the cache. Whatever the lengths, the file holds the bytes
// as handed over.
TEST(RealDisk, FilesOfAnyLengthInPiecesOfAnySizeKeepTheirBytes) {
  constexpr std::size_t kMiB = std::size_t{1} << 20;
  const std::size_t lengths[] = {0, 1, 4095, 4097, 8 * kMiB, 8 * kMiB + 1, 20 * kMiB + 4099};
  ScratchFolder folder;
  std::vector<std::filesystem::path> folders{folder.path()};
  if (std::filesystem::is_directory("/dev/shm")) folders.push_back("/dev/shm");
  uint32_t state = 12345;
  for (const auto& where : folders)
    for (const std::size_t length : lengths) {
      SCOPED_TRACE(where.string() + " " + std::to_string(length));
      std::string bytes(length, '\0');
      for (char& c : bytes) c = static_cast<char>((state = state * 1664525u + 1013904223u) >> 24);
      RealDiskInterface disk;
      const auto path = where / ("cohortix-direct-" + std::to_string(::getpid()) + ".vtc");
      const Status written = disk.writeFileWith(path, [&](FileSink& sink) {
        for (std::size_t at = 0, piece = 1; at < length; at += piece, piece = piece * 3 + 7) {
          Status status = sink.write(std::string_view(bytes).substr(at, piece));
          if (!status) return status;
        }
        return Status::ok();
      });
      ASSERT_TRUE(written) << written.message();
      EXPECT_TRUE(contentsOf(path) == bytes);
      std::filesystem::remove(path);
    }
}

// A disk that fills up in the middle of a block written past the cache reports
// the full disk, not the misaligned rest of the write.
TEST(FailingDisk, FullInTheMiddleOfALargeFileSaysSo) {
  ScratchFolder folder;
  FailingDiskInterface disk((std::size_t{10} << 20) + 123);
  const std::string large(std::size_t{20} << 20, 'x');
  const std::string_view parts[] = {large};
  EXPECT_EQ(disk.writeFile(folder / "S1_G1_Study.vtc", parts).message(), "No space left on device");
  EXPECT_TRUE(folder.entries().empty());
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

TEST(FailingDisk, EachFailingCallLeavesTheOldFileAndNoTemporary) {
  for (const DiskCall call : {DiskCall::Create, DiskCall::Write, DiskCall::Close, DiskCall::Rename}) {
    SCOPED_TRACE(static_cast<int>(call));
    ScratchFolder folder;
    std::ofstream(folder / "S1_G1_Study.prt") << "previous run";
    FailingDiskInterface disk(call, EIO);
    const std::string_view parts[] = {"new protocol"};
    EXPECT_EQ(disk.writeFile(folder / "S1_G1_Study.prt", parts).message(), std::strerror(EIO));
    EXPECT_EQ(folder.entries(), std::vector<std::string>{"S1_G1_Study.prt"});
    EXPECT_EQ(contentsOf(folder / "S1_G1_Study.prt"), "previous run");
  }
}

// With the last steps taken behind the writer, a failing flush, close or rename
// comes from settle(), about the file, with the same reason and the same old file
// left; create and write still fail at once. A file written now is in place when
// the call returns, whatever is still queued.
TEST(FailingDisk, CommittedBehindTheWriterFailuresComeFromSettleAboutTheirFile) {
  for (const DiskCall call : {DiskCall::Create, DiskCall::Write, DiskCall::Close, DiskCall::Rename}) {
    SCOPED_TRACE(static_cast<int>(call));
    ScratchFolder folder;
    std::ofstream(folder / "S1_G1_Study.vtc") << "previous run";
    FailingDiskInterface disk(call, EIO);
    disk.commitBehind(true);
    const std::string_view parts[] = {"new data"};
    const Status written = disk.writeFile(folder / "S1_G1_Study.vtc", parts);
    const std::vector<Status> failures = disk.settle();
    const bool atOnce = call == DiskCall::Create || call == DiskCall::Write;
    EXPECT_EQ(written.message(), atOnce ? std::strerror(EIO) : "");
    ASSERT_EQ(failures.size(), atOnce ? 0u : 1u);
    if (!atOnce) {
      EXPECT_EQ(failures[0].message(), std::strerror(EIO));
      EXPECT_EQ(failures[0].file(), (folder / "S1_G1_Study.vtc").string());
    }
    EXPECT_EQ(folder.entries(), std::vector<std::string>{"S1_G1_Study.vtc"});
    EXPECT_EQ(contentsOf(folder / "S1_G1_Study.vtc"), "previous run");
  }
  ScratchFolder folder;
  RealDiskInterface disk;
  disk.commitBehind(true);
  const std::string_view parts[] = {"data"};
  for (int k = 0; k < 40; ++k) ASSERT_TRUE(disk.writeFile(folder / ("S" + std::to_string(k) + ".vtc"), parts));
  ASSERT_TRUE(disk.writeFileNow(folder / "S1.prt", parts));
  EXPECT_EQ(contentsOf(folder / "S1.prt"), "data");
  EXPECT_TRUE(disk.settle().empty());
  EXPECT_EQ(folder.entries().size(), 41u) << "every file in place, no temporary left";
  EXPECT_EQ(disk.written().files, 41u);
}

TEST(RealDisk, ALinkUnderTheFinalNameIsReplacedNotWrittenThrough) {
  ScratchFolder folder;
  std::ofstream(folder / "elsewhere") << "not ours";
  std::filesystem::create_symlink(folder / "elsewhere", folder / "S1_G1_Study.vtc");
  RealDiskInterface disk;
  const std::string_view parts[] = {"data"};
  ASSERT_TRUE(disk.writeFile(folder / "S1_G1_Study.vtc", parts));
  EXPECT_FALSE(std::filesystem::is_symlink(folder / "S1_G1_Study.vtc"));
  EXPECT_EQ(contentsOf(folder / "S1_G1_Study.vtc"), "data");
  EXPECT_EQ(contentsOf(folder / "elsewhere"), "not ours");
}

TEST(TemporaryNames, AreFreshEachTimeAndTellTheFinalName) {
  const auto first = temporaryNameFor("out/S1_G1_Study.nii.gz");
  const auto second = temporaryNameFor("out/S1_G1_Study.nii.gz");
  EXPECT_NE(first, second);
  EXPECT_EQ(first.parent_path(), "out");
  EXPECT_EQ(first.filename().string().size(), kTemporaryNameExtraBytes + 18);
  EXPECT_EQ(finalNameOf(first.filename().string()), "S1_G1_Study.nii.gz");
  EXPECT_EQ(finalNameOf("S1_G1_Study.vtc"), "");
  EXPECT_EQ(finalNameOf(".cohortix-ab/de-S1_G1_Study.vtc"), "");
  EXPECT_EQ(finalNameOf(".cohortix-abcde-"), "");
}

TEST(TemporaryNames, ANewFileIsNeverMadeThroughAPlantedLink) {
  ScratchFolder folder;
  std::ofstream(folder / "target") << "not ours";
  std::filesystem::create_symlink(folder / "target", folder / "planted");
  EXPECT_EQ(createNewFile(folder / "planted"), -1);
  EXPECT_EQ(errno, EEXIST);
  EXPECT_EQ(contentsOf(folder / "target"), "not ours");
}

TEST(LeftoverTemporaries, OnlyThoseOfEndedWritersAndWantedNamesAreRemoved) {
  ScratchFolder folder;
  const auto leftover = [&](const char* name) {
    const auto path = temporaryNameFor(folder / name);
    std::ofstream(path) << "half";
    return path.filename().string();
  };
  leftover("S1_G1_Study.vtc");
  const std::string otherStudy = leftover("S1_G1_Other.vtc");
  const std::string live = leftover("S2_G1_Study.vtc");
  // A writer still at work holds the lock of its temporary.
  const int writer = openFile(folder / live, O_RDONLY);
  ASSERT_EQ(lockFile(writer), 0);
  std::ofstream(folder / "S3_G1_Study.vtc") << "a whole file";

  const auto ofStudy = [](std::string_view name) { return name.find("_Study.") != std::string_view::npos; };
  EXPECT_EQ(removeLeftoverTemporaries(folder.path(), ofStudy), 1);
  std::vector<std::string> expected = {live, otherStudy, "S3_G1_Study.vtc"};
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(folder.entries(), expected);
  ::close(writer);
  EXPECT_EQ(removeLeftoverTemporaries(folder.path(), ofStudy), 1);
}

}  // namespace
}  // namespace cohortix::host
