#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "host/io/disk_interface.h"
#include "host/record/run_record.h"
#include "host/record/run_recorder.h"
#include "host/record/checksum.h"
#include "tests/support/failing_disk_interface.h"
#include "tests/support/scratch_folder.h"

namespace cohortix::host::record {
namespace {

namespace fs = std::filesystem;

Status writeText(DiskInterface& disk, const fs::path& path, const std::string& text) {
  const std::string_view parts[] = {text};
  return disk.writeFile(path, parts);
}

// The disk shows the recorder every file it puts in place, with the bytes as
// written: the last version of a file rewritten, none of one removed or one the
// disk could not put in place, and the same whether the last steps are taken at
// once or behind the writer.
TEST(WrittenFiles, HoldWhatTheDiskPutInPlace) {
  testing::ScratchFolder folder;
  for (const bool behind : {false, true}) {
    WrittenFiles files;
    RealDiskInterface disk;
    disk.observe(&files);
    disk.commitBehind(behind);
    ASSERT_TRUE(writeText(disk, folder / "a.txt", "first"));
    ASSERT_TRUE(writeText(disk, folder / "a.txt", "abc"));
    ASSERT_TRUE(writeText(disk, folder / "b.txt", std::string(20u << 20, 'x')));
    ASSERT_TRUE(writeText(disk, folder / "gone.txt", "soon removed"));
    ASSERT_TRUE(disk.removeFile(folder / "gone.txt"));
    EXPECT_TRUE(disk.settle().empty());
    disk.commitBehind(false);
    const auto all = files.all();
    ASSERT_EQ(all.size(), 2u) << behind;
    const WrittenFile& a = all.at(normalPath(folder / "a.txt"));
    EXPECT_EQ(a.bytes, 3u);
    // XXH3-128("abc") as xxh128sum prints it.
    EXPECT_EQ(a.checksum, "06b05ab6733a618578af5f94892f3950");
    const WrittenFile& b = all.at(normalPath(folder / "b.txt"));
    EXPECT_EQ(b.bytes, 20u << 20);
    EXPECT_EQ(b.checksum, fileChecksum(folder / "b.txt").value().checksum);
  }
  WrittenFiles files;
  testing::FailingDiskInterface failing(testing::DiskCall::Rename, EIO);
  failing.observe(&files);
  EXPECT_FALSE(writeText(failing, folder / "c.txt", "never in place"));
  EXPECT_TRUE(files.all().empty());
}

RunRecord fullRecord() {
  RunRecord record;
  record.command = "run";
  record.cohortixVersion = "1.5";
  record.pluginName = "Cohortix";
  record.pluginVersion = "2.0";
  record.pluginPath = "/opt/libcohortix.so";
  record.pluginChecksum = std::string(64, 'a');
  record.arguments = {"cohortix", "run", "my study.cxd", "--contrast", "it's: 1 -1"};
  record.options = {{"control-file", {"my study.cxd"}, false, false, true},
                    {"--contrast", {"a: 1 -1", "b: 1 1"}, false, false, true},
                    {"--noise", {}, false, false, false},
                    {"--quiet", {}, true, true, true},
                    {"--nifti", {}, true, false, false}};
  record.workingDirectory = "/home/me";
  record.controlFile = RecordedText{"control-file", "my study.cxd", std::string(64, 'b'), "Name: \"x\"\n"};
  // A copy whose bytes are no UTF-8 text (of one to three bytes past a whole
  // group of Base64) is kept all the same.
  record.profiles = {{"--noise", "p.toml", std::string(64, 'c'), "[noise]\nsd = 1\n"},
                     {"--noise", "q.toml", std::string(64, 'e'), std::string("\xb4\0\xff", 3)},
                     {"--noise", "r.toml", std::string(64, 'e'), std::string("\xb4\0\xff\xfe", 4)},
                     {"--noise", "s.toml", std::string(64, 'e'), std::string("\xb4\0\xff\xfe\x80", 5)}};
  record.noiseSeed = 18446744073709551615ull;
  record.replicate = 3;
  record.platform = {{"System", "Linux"}, {"Cores", "2"}};
  record.started = "2026-01-01T00:00:00Z";
  record.ended = "2026-01-01T00:00:05Z";
  record.stages = {{"simulation", 4.5}, {"writing", 0.25}};
  record.exitStatus = 4;
  record.outputs = {{"native", "out"}, {"bids", "out/bids"}};
  record.files = {{"native", "S1_G1_X.vtc", 123456789012ull, std::string(64, 'd')}};
  return record;
}

TEST(RunRecord, ReadsBackWhatItWrites) {
  const RunRecord written = fullRecord();
  const Result<RunRecord> read = parseRunRecord(runRecordJson(written));
  ASSERT_TRUE(read) << read.status().message();
  const RunRecord& r = read.value();
  EXPECT_EQ(runRecordJson(r), runRecordJson(written));
  EXPECT_EQ(r.arguments, written.arguments);
  ASSERT_EQ(r.options.size(), 5u);
  EXPECT_EQ(r.options[1].values, written.options[1].values);
  EXPECT_TRUE(r.options[2].values.empty());
  EXPECT_TRUE(r.options[3].flag && r.options[3].on && r.options[3].given);
  EXPECT_TRUE(r.options[4].flag && !r.options[4].on && !r.options[4].given);
  EXPECT_EQ(r.controlFile->text, written.controlFile->text);
  ASSERT_EQ(r.profiles.size(), 4u);
  for (std::size_t p = 0; p < 4; ++p) EXPECT_EQ(r.profiles[p].text, written.profiles[p].text) << p;
  EXPECT_NE(runRecordJson(written).find("\"Base64\": \"tAD/\""), std::string::npos);
  EXPECT_EQ(r.noiseSeed, written.noiseSeed);
  EXPECT_EQ(r.files[0].bytes, 123456789012ull);
  EXPECT_EQ(r.outputFolder("bids"), "out/bids");
  // The command line a shell reads back as it was given.
  EXPECT_EQ(r.commandLineText(), "cohortix run 'my study.cxd' --contrast 'it'\\''s: 1 -1'");
}

TEST(RunRecord, RefusesWhatIsNoRecordOfThisSchema) {
  EXPECT_EQ(parseRunRecord("{").status().message(),
            "line 1, column 2 (byte 1): syntax error while parsing object key - unexpected end of input; "
            "expected string literal");
  EXPECT_EQ(parseRunRecord("{}").status().message(),
            "not a run record of Cohortix (no \"CohortixRunRecord\")");
  std::string later = runRecordJson(fullRecord());
  later.replace(later.find("\"CohortixRunRecord\": 1"), 22, "\"CohortixRunRecord\": 2");
  EXPECT_EQ(parseRunRecord(later).status().message(),
            "a run record of schema 2, which this version (1) cannot read");
  std::string mistyped = runRecordJson(fullRecord());
  mistyped.replace(mistyped.find("\"Replicate\": 3"), 14, "\"Replicate\": \"3\"");
  EXPECT_EQ(parseRunRecord(mistyped).status().message(),
            "not a run record: \"Replicate\" is not what a record holds there");
}

// Each file goes to the deepest output that holds it (a native folder inside the
// dataset is the native output's), the records themselves and files outside every
// output are left out.
TEST(RunRecorder, ListsEachFileUnderItsOutput) {
  testing::ScratchFolder folder;
  RunRecord asked;
  asked.outputs = {{"bids", (folder / "ds").string()}, {"native", (folder / "ds/sourcedata").string()}};
  RunRecorder recorder(asked);
  RealDiskInterface disk;
  disk.observe(&recorder.files());
  ASSERT_TRUE(disk.makeDirs(folder / "ds/sourcedata"));
  ASSERT_TRUE(disk.makeDirs(folder / "ds/code"));
  ASSERT_TRUE(writeText(disk, folder / "ds/README", "r"));
  ASSERT_TRUE(writeText(disk, folder / "ds/sourcedata/S1.prt", "p"));
  ASSERT_TRUE(writeText(disk, folder / "ds/code" / kRunRecordName, "{}"));
  ASSERT_TRUE(writeText(disk, folder / "elsewhere.html", "x"));
  const Result<RunRecord> record = recorder.finish(0);
  ASSERT_TRUE(record);
  ASSERT_EQ(record->files.size(), 2u);
  EXPECT_EQ(record->files[0].output, "bids");
  EXPECT_EQ(record->files[0].path, "README");
  EXPECT_EQ(record->files[1].output, "native");
  EXPECT_EQ(record->files[1].path, "S1.prt");
  EXPECT_EQ(record->files[1].checksum, checksumOf("p"));
  ASSERT_TRUE(writeRunRecord(record.value(), disk));
  EXPECT_EQ(findRunRecord(folder / "ds"), folder / "ds/code" / kRunRecordName);
  EXPECT_EQ(findRunRecord(folder / "ds/sourcedata"), folder / "ds/sourcedata" / kRunRecordName);
  EXPECT_TRUE(readRunRecord(folder / "ds/sourcedata" / kRunRecordName, disk));
}

}  // namespace
}  // namespace cohortix::host::record
