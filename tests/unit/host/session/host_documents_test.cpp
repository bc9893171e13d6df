// The host's documents as the plug-in reaches them: protocol, design matrix and
// VTC, the files they are saved to, and how the host answers what it must not
// trust (bad indices, changed host bytes, unsafe names, failing disks).

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>

#include "host/io/disk_interface.h"
#include "host/session/host_session.h"
#include "host/session/record_pattern.h"
#include "tests/support/failing_disk_interface.h"
#include "tests/support/scratch_folder.h"

namespace cohortix::host {
namespace {

using ::testing::ElementsAre;
using ::testing::UnorderedElementsAre;
using ::testing::HasSubstr;
using cohortix::testing::FailingDiskInterface;
using cohortix::testing::ScratchFolder;

ConditionRecord conditionRecord(const char* name, int32_t color) {
  ConditionRecord record{};
  std::strncpy(record.ConditionName, name, sizeof record.ConditionName);
  record.Color = color;
  return record;
}

VTCHeader vtcHeader(int32_t resolution = 3) {
  VTCHeader header{};
  header.HostField12 = 1;
  header.VTCHeaderCode = 5;
  header.XStart = 60;
  header.XEnd = 181;
  header.YStart = 40;
  header.YEnd = 160;
  header.ZStart = 50;
  header.ZEnd = 170;
  header.Resolution = resolution;
  header.HostField48 = 2;
  return header;
}

class HostDocuments : public ::testing::Test {
 protected:
  explicit HostDocuments(SessionOptions options = {}) { reset(options); }

  void reset(SessionOptions options, DiskInterface* disk = nullptr) {
    options.outputDir = folder.path();
    session.reset();
    session = disk != nullptr ? std::make_unique<HostSession>(options, log, messages, *disk)
                              : std::make_unique<HostSession>(options, log, messages);
  }

  // A protocol the way the plug-in builds one: header from the host, then two
  // conditions with their intervals.
  void buildProtocol() {
    ASSERT_TRUE(session->protocols().clear());
    auto header = std::make_unique<ProtocolRecord>();
    ASSERT_TRUE(session->protocols().get(header.get()));
    std::strcpy(header->FileName, "S1_G1_Study.prt");
    std::strcpy(header->ExperimentName, "Study");
    header->TimeResolution = 1;
    ASSERT_TRUE(session->protocols().set(header.get()));
    const ConditionRecord baseline = conditionRecord("Baseline", 6579300);
    const ConditionRecord easy = conditionRecord("Easy x \"Left\"", 16724480);
    ASSERT_TRUE(session->protocols().addCondition(&baseline));
    ASSERT_TRUE(session->protocols().addCondition(&easy));
    ASSERT_TRUE(session->protocols().addInterval(0, 1, 5));
    ASSERT_TRUE(session->protocols().addInterval(1, 6, 30));
    ASSERT_TRUE(session->protocols().addInterval(0, 31, 30));  // empty
  }

  std::string lastHostMessage() const {
    return session->hostMessages().empty() ? "" : session->hostMessages().back();
  }

  ScratchFolder folder;
  std::ostringstream log;
  std::ostringstream messages;
  std::unique_ptr<HostSession> session;
};

TEST_F(HostDocuments, ProtocolSavedAndLoadedBackIsTheSame) {
  buildProtocol();
  const ProtocolDocument built = session->protocol();
  ASSERT_TRUE(session->protocols().save("S1_G1_Study.prt"));
  ASSERT_TRUE(session->protocols().clear());
  ASSERT_TRUE(session->protocols().load("S1_G1_Study.prt"));
  EXPECT_EQ(session->protocol(), built);
  auto header = std::make_unique<ProtocolRecord>();
  ASSERT_TRUE(session->protocols().get(header.get()));
  EXPECT_EQ(header->NrOfConditions, 2);
  EXPECT_STREQ(header->ExperimentName, "Study");
  auto condition = std::make_unique<ConditionRecord>();
  ASSERT_TRUE(session->protocols().getCondition(1, condition.get()));
  EXPECT_STREQ(condition->ConditionName, "Easy x \"Left\"");
  EXPECT_EQ(condition->Color, 16724480);
}

TEST_F(HostDocuments, OnlyTheProtocolSavedLastIsLoadedBackAndNeverFromDisk) {
  buildProtocol();
  std::ofstream(folder / "other.prt") << "FileVersion: 1\nFileName: \"x\"\nExperimentName: 3\n";
  EXPECT_FALSE(session->protocols().load("other.prt"));
  EXPECT_EQ(lastHostMessage(),
            "ktLoadProtocol: other.prt is not the protocol the run saved last, the only one the "
            "host loads back");
  EXPECT_EQ(session->protocol().conditions.size(), 2u) << "the current protocol stays";
  ASSERT_TRUE(session->protocols().save("S1_G1_Study.prt"));
  ASSERT_TRUE(session->protocols().save("S2_G1_Study.prt"));
  EXPECT_FALSE(session->protocols().load("S1_G1_Study.prt")) << "saved, but not last";
  std::ofstream(folder / "S2_G1_Study.prt") << "changed on disk since";
  EXPECT_TRUE(session->protocols().load("S2_G1_Study.prt"));
  EXPECT_EQ(session->protocol().conditions.size(), 2u);
}

TEST_F(HostDocuments, BadIndicesAreRefusedWithAMessage) {
  buildProtocol();
  auto condition = std::make_unique<ConditionRecord>();
  std::memset(condition.get(), 0x11, sizeof *condition);
  EXPECT_FALSE(session->protocols().getCondition(2, condition.get()));
  EXPECT_EQ(lastHostMessage(),
            "ktGetProtocolCondition: there is no condition 2 (the protocol has 2 conditions)");
  EXPECT_EQ(condition->Color, 0x11111111) << "the record is left alone";
  EXPECT_FALSE(session->protocols().getCondition(-1, condition.get()));
  EXPECT_FALSE(session->protocols().addInterval(7, 1, 2));
  EXPECT_EQ(session->protocol().conditions[0].intervals.size(), 2u);

  const ConditionRecord easy = conditionRecord("Easy x \"Left\"", 0);
  EXPECT_FALSE(session->designMatrices().setValuesFromCondition(&easy, 1, 1.0f)) << "no predictor yet";
  ASSERT_TRUE(session->designMatrices().addPredictor(&easy));
  EXPECT_FALSE(session->designMatrices().setValuesFromCondition(&easy, 5, 1.0f));
  EXPECT_FALSE(session->designMatrices().applyTwoGammaHRF(1));
  EXPECT_EQ(lastHostMessage(),
            "ktApplyTwoGammaHRFToPredictor: there is no predictor 1 (the design matrix has 1 predictors)");
  EXPECT_EQ(session->designMatrices().predictor(-1), nullptr);
  EXPECT_EQ(session->designMatrices().predictor(1), nullptr);
  EXPECT_NE(session->designMatrices().predictor(0), nullptr);
  EXPECT_FALSE(session->protocols().get(nullptr));
  EXPECT_FALSE(session->protocols().addCondition(nullptr));
  EXPECT_EQ(session->hostMessages().size(), 10u);
  EXPECT_TRUE(session->messagesShown().empty()) << "the plug-in's own messages stay its own";
}

TEST_F(HostDocuments, NullPointersAreRefusedWithAMessage) {
  int dims[3] = {};
  EXPECT_EQ(session->general().currentVMR(&dims[0], nullptr, &dims[2]), nullptr);
  EXPECT_EQ(session->general().openFileName("prompt", "filter", nullptr), 0);
  EXPECT_FALSE(session->vtcs().getHeader(nullptr));
  EXPECT_FALSE(session->vtcs().create(3, nullptr));
  EXPECT_FALSE(session->protocols().set(nullptr));
  EXPECT_FALSE(session->protocols().getCondition(0, nullptr));
  EXPECT_FALSE(session->protocols().save(nullptr));
  EXPECT_FALSE(session->protocols().load(nullptr));
  EXPECT_FALSE(session->designMatrices().save(nullptr));
  EXPECT_FALSE(session->vtcs().save(nullptr));
  EXPECT_EQ(session->hostMessages().size(), 10u);
  EXPECT_EQ(session->hostMessages()[0], "ktGetCurrentVMR: no place given for the three dimensions");
}

TEST_F(HostDocuments, HostBytesCarryThePatternAndNothingBeyondTheHostSizeIsTouched) {
  auto header = std::make_unique<ProtocolRecord>();
  std::memset(header.get(), 0xEE, sizeof *header);
  ASSERT_TRUE(session->protocols().get(header.get()));
  const auto* bytes = reinterpret_cast<const unsigned char*>(header.get());
  for (std::size_t i = kProtocolRecordDocumentedSize; i < kProtocolRecordHostSize; ++i)
    ASSERT_EQ(bytes[i], hostPatternByte(i)) << i;
  for (std::size_t i = kProtocolRecordHostSize; i < kHostRecordCapacity; ++i) ASSERT_EQ(bytes[i], 0xEE) << i;

  auto vtc = std::make_unique<VTCHeader>(vtcHeader());
  ASSERT_TRUE(session->vtcs().create(3, vtc.get()));
  std::memset(vtc.get(), 0xEE, sizeof *vtc);
  ASSERT_TRUE(session->vtcs().getHeader(vtc.get()));
  EXPECT_EQ(vtc->NrOfVolumes, 3);
  EXPECT_EQ(vtc->XEnd, 181);
  const auto* vtcBytes = reinterpret_cast<const unsigned char*>(vtc.get());
  EXPECT_EQ(vtcBytes[kVTCHeaderDocumentedSize], hostPatternByte(kVTCHeaderDocumentedSize));
  EXPECT_EQ(vtcBytes[kVTCHeaderHostSize - 1], hostPatternByte(kVTCHeaderHostSize - 1));
  EXPECT_EQ(vtcBytes[kVTCHeaderHostSize], 0xEE);
}

TEST_F(HostDocuments, RecordsWhoseHostBytesCameBackChangedAreRefused) {
  auto header = std::make_unique<ProtocolRecord>();
  ASSERT_TRUE(session->protocols().get(header.get()));
  std::strcpy(header->ExperimentName, "Study");
  header->HostBytes[100] ^= 1;
  EXPECT_FALSE(session->protocols().set(header.get()));
  EXPECT_EQ(lastHostMessage(),
            "ktSetProtocol: the host's bytes 572 to 1023 of the protocol record did not come back as "
            "the host handed them out (first difference at byte 672)");
  EXPECT_EQ(session->protocol().experimentName, "");
  header->HostBytes[100] ^= 1;
  header->HostBytes[kHostRecordCapacity - 573] = 9;  // beyond the host's size: the plug-in's
  EXPECT_TRUE(session->protocols().set(header.get()));
  auto fresh = std::make_unique<ProtocolRecord>();
  *fresh = ProtocolRecord{};
  EXPECT_FALSE(session->protocols().set(fresh.get())) << "a header never fetched from the host";

  // Conditions and VTC headers may be built from scratch (zero) or come from the host.
  ConditionRecord condition = conditionRecord("A", 1);
  EXPECT_TRUE(session->protocols().addCondition(&condition));
  ASSERT_TRUE(session->protocols().getCondition(0, &condition));
  EXPECT_TRUE(session->protocols().addCondition(&condition));
  condition.HostBytes[0] = 0;
  EXPECT_FALSE(session->protocols().addCondition(&condition));
  EXPECT_FALSE(session->designMatrices().addPredictor(&condition));
  VTCHeader vtc = vtcHeader();
  vtc.HostBytes[3] = 1;
  EXPECT_FALSE(session->vtcs().create(3, &vtc));
  EXPECT_EQ(session->protocol().conditions.size(), 2u);
}

TEST_F(HostDocuments, TextsAreReadOnlyWithinTheirFields) {
  ConditionRecord condition{};
  std::memset(condition.ConditionName, 'n', sizeof condition.ConditionName);
  condition.Color = 0x00414141;  // would extend the name if read past the field
  ASSERT_TRUE(session->protocols().addCondition(&condition));
  EXPECT_EQ(session->protocol().conditions[0].name, std::string(280, 'n'));
  auto back = std::make_unique<ConditionRecord>();
  ASSERT_TRUE(session->protocols().getCondition(0, back.get()));
  EXPECT_EQ(std::string(back->ConditionName), std::string(279, 'n')) << "cut to fit, NUL-terminated";
}

TEST_F(HostDocuments, DesignMatrixIsAsLongAsTheVTCOrElseTheProtocol) {
  buildProtocol();
  const ConditionRecord easy = conditionRecord("Easy x \"Left\"", 0);
  ASSERT_TRUE(session->designMatrices().addPredictor(&easy));
  EXPECT_EQ(session->designMatrix().nrOfVolumes, 30) << "the protocol's extent";
  const VTCHeader header = vtcHeader();
  ASSERT_TRUE(session->vtcs().create(40, &header));
  ASSERT_TRUE(session->designMatrices().clear());
  ASSERT_TRUE(session->designMatrices().addPredictor(&easy));
  ASSERT_TRUE(session->designMatrices().setValuesFromCondition(&easy, 1, 1.0f));
  const float* values = session->designMatrices().predictor(0);
  ASSERT_EQ(session->designMatrix().nrOfVolumes, 40);
  EXPECT_EQ(values[4], 0.0f);
  EXPECT_EQ(values[5], 1.0f);
  EXPECT_EQ(values[29], 1.0f);
  EXPECT_EQ(values[30], 0.0f);
  ASSERT_TRUE(session->designMatrices().applyTwoGammaHRF(0));
  EXPECT_EQ(session->designMatrices().predictor(0), values) << "the time course stays where it is";
  EXPECT_EQ(values[5], 0.0f);
  EXPECT_EQ(values[29], 1.0f) << "25 volumes of 2 s outlast the 32 s response";
}

TEST_F(HostDocuments, DesignMatrixSavesWithItsPredictorNames) {
  buildProtocol();
  const ConditionRecord easy = conditionRecord("Easy x \"Left\"", 0);
  ASSERT_TRUE(session->designMatrices().addPredictor(&easy));
  ASSERT_TRUE(session->designMatrices().setValuesFromCondition(&easy, 1, 1.0f));
  ASSERT_TRUE(session->designMatrices().save("S1_G1_Study.rtc"));
  std::ifstream in(folder / "S1_G1_Study.rtc");
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_THAT(text, HasSubstr("Predictor: \"Easy x \\\"Left\\\"\"\n0\n0\n0\n0\n0\n1\n"));
}

TEST_F(HostDocuments, VTCCreationRefusesWhatCannotBeAVolume) {
  VTCHeader header = vtcHeader(0);
  EXPECT_FALSE(session->vtcs().create(10, &header));
  EXPECT_THAT(lastHostMessage(), HasSubstr("cannot create the VTC: Resolution 0 is below 1"));
  EXPECT_EQ(session->vtcs().data(), nullptr);
  EXPECT_FALSE(session->vtcs().getHeader(&header));
  header = vtcHeader();
  header.XEnd = 50;
  EXPECT_FALSE(session->vtcs().create(10, &header));
  EXPECT_THAT(lastHostMessage(), HasSubstr("negative dimensions (X -3, Y 40, Z 40)"));
  header = vtcHeader(1);
  header.XStart = 0, header.XEnd = 256, header.YStart = 0, header.YEnd = 256;
  header.ZStart = 0, header.ZEnd = 256;
  EXPECT_FALSE(session->vtcs().create(100000, &header)) << "6.7 TB of data";
  EXPECT_THAT(lastHostMessage(), HasSubstr("would exceed the machine's physical memory"));
  EXPECT_EQ(session->vtcs().data(), nullptr);
  header = vtcHeader();
  EXPECT_FALSE(session->vtcs().create(-1, &header));
}

TEST_F(HostDocuments, VTCDataStaysPutAndIsSavedAsItStands) {
  const VTCHeader header = vtcHeader();
  ASSERT_TRUE(session->vtcs().create(3, &header));
  float* data = session->vtcs().data();
  ASSERT_EQ(session->vtc()->valueCount(), 40u * 40 * 40 * 3);
  data[0] = 1.5f;
  data[40 * 40 * 40 * 3 - 1] = -2.0f;
  ASSERT_TRUE(session->vtcs().save("S1_G1_Study.vtc"));
  data[0] = 7.0f;  // the next subject, while the last one is written
  EXPECT_EQ(session->vtcs().data(), data);
  ASSERT_TRUE(session->finish());
  std::ifstream in(folder / "S1_G1_Study.vtc", std::ios::binary);
  float first = 0.0f;
  in.seekg(84).read(reinterpret_cast<char*>(&first), sizeof first);
  EXPECT_EQ(first, 1.5f) << "the data as they stood at the save";
  EXPECT_EQ(std::filesystem::file_size(folder / "S1_G1_Study.vtc"), 84u + 40 * 40 * 40 * 3 * 4);
}

class OutputFiles : public HostDocuments {};

TEST_F(OutputFiles, UnsafeNamesAreRefusedAndCountAsNotWritten) {
  buildProtocol();
  for (const char* name : {"../escape.prt", "sub/x.prt", "a\\b.prt", "", ".", "..", "tab\there.prt"})
    EXPECT_FALSE(session->protocols().save(name)) << name;
  EXPECT_EQ(session->hostMessages()[0],
            "ktSaveProtocol: refused the file name \"../escape.prt\": it contains '/'");
  EXPECT_EQ(session->hostMessages()[6],
            "ktSaveProtocol: refused the file name \"tab\there.prt\": it contains the control character 0x09");
  EXPECT_TRUE(folder.entries().empty());
  EXPECT_FALSE(std::filesystem::exists(folder.path().parent_path() / "escape.prt"));
  EXPECT_FALSE(session->protocols().load("../escape.prt"));
  EXPECT_FALSE(session->finish());
  EXPECT_EQ(session->filesNotWritten().size(), 7u);
}

TEST_F(OutputFiles, FailingDiskReportsNameAndReasonAndLeavesNoFinalName) {
  FailingDiskInterface disk(1000);
  reset({}, &disk);
  buildProtocol();
  const VTCHeader header = vtcHeader();
  ASSERT_TRUE(session->vtcs().create(3, &header));
  EXPECT_TRUE(session->protocols().save("S1_G1_Study.prt"));
  EXPECT_TRUE(session->vtcs().save("S1_G1_Study.vtc")) << "taken on for writing";
  EXPECT_TRUE(session->vtcs().save("S2_G1_Study.vtc"));
  EXPECT_EQ(lastHostMessage(), "cannot write S1_G1_Study.vtc: No space left on device")
      << "the failed write is reported by the next save";
  EXPECT_FALSE(session->protocols().save("S2_G1_Study.prt"));
  EXPECT_FALSE(session->finish());
  EXPECT_EQ(folder.entries(), std::vector<std::string>{"S1_G1_Study.prt"});
  EXPECT_THAT(session->filesNotWritten(),
              ElementsAre("S1_G1_Study.vtc", "S2_G1_Study.prt", "S2_G1_Study.vtc"));
  EXPECT_EQ(lastHostMessage(),
            "3 of the run's files could not be written: S1_G1_Study.vtc, S2_G1_Study.prt, "
            "S2_G1_Study.vtc");
  EXPECT_THAT(messages.str(), HasSubstr("cohortix: cannot write S1_G1_Study.vtc: No space left on device\n"));
}

// A disk on which no protocol can be saved, as when an old .prt of another study
// sits under the name and cannot be replaced (an immutable file, a folder entry
// this user may not remove).
class ProtocolRefusingDisk : public RealDiskInterface {
 protected:
  // A protocol's temporary ends as the protocol does.
  int createFile(const std::filesystem::path& path) override {
    if (path.extension() == ".prt") {
      errno = EPERM;
      return -1;
    }
    return RealDiskInterface::createFile(path);
  }
};

TEST_F(OutputFiles, AProtocolThatCannotBeSavedIsServedFromMemoryAndNothingBuiltFromItIsWritten) {
  const std::string foreign = "an old protocol of another study\n";
  std::ofstream(folder / "S1_G1_Study.prt") << foreign;
  ASSERT_EQ(::mkfifo((folder / "S2_G1_Study.prt").c_str(), 0600), 0) << "reading it would hang";
  ProtocolRefusingDisk disk;
  reset({}, &disk);
  const VTCHeader header = vtcHeader();
  ASSERT_TRUE(session->vtcs().create(3, &header));
  for (const std::string subject : {"S1_G1_Study", "S2_G1_Study"}) {
    buildProtocol();
    const ProtocolDocument built = session->protocol();
    EXPECT_FALSE(session->protocols().save((subject + ".prt").c_str()));
    ASSERT_TRUE(session->protocols().clear());
    EXPECT_TRUE(session->protocols().load((subject + ".prt").c_str()));
    EXPECT_EQ(session->protocol(), built) << "what the plug-in built, not what is on disk";
    EXPECT_FALSE(session->designMatrices().save((subject + ".rtc").c_str()));
    EXPECT_EQ(lastHostMessage(), "cannot write " + subject + ".rtc: it is built from the protocol " +
                                     subject + ".prt, which could not be saved (a file under that "
                                     "name would not be its protocol)");
    EXPECT_TRUE(session->vtcs().save((subject + ".vtc").c_str())) << "taken on";
  }
  EXPECT_FALSE(session->finish());
  EXPECT_THAT(session->filesNotWritten(),
              UnorderedElementsAre("S1_G1_Study.prt", "S1_G1_Study.rtc", "S1_G1_Study.vtc", "S2_G1_Study.prt",
                          "S2_G1_Study.rtc", "S2_G1_Study.vtc"));
  EXPECT_THAT(session->hostMessages(),
              ::testing::Contains("cannot write S2_G1_Study.vtc: it is built from the protocol "
                                  "S2_G1_Study.prt, which could not be saved (a file under that "
                                  "name would not be its protocol)"));
  EXPECT_EQ(folder.entries(), (std::vector<std::string>{"S1_G1_Study.prt", "S2_G1_Study.prt"}))
      << "the old files as they were, and nothing beside them";
  std::ifstream old(folder / "S1_G1_Study.prt");
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(old), {}), foreign);
}

TEST_F(OutputFiles, OutputFolderIsCreatedWhenMissing) {
  SessionOptions options;
  reset(options);
  const std::filesystem::path nested = folder / "out" / "study";
  options.outputDir = nested;
  HostSession nestedSession(options, log, messages);
  ASSERT_TRUE(nestedSession.prepareOutputFolder());
  ASSERT_TRUE(nestedSession.protocols().clear());
  ASSERT_TRUE(nestedSession.protocols().save("S1_G1_Study.prt"));
  EXPECT_TRUE(std::filesystem::is_regular_file(nested / "S1_G1_Study.prt"));
  EXPECT_TRUE(nestedSession.finish());

  std::ofstream(folder / "taken") << "a file, not a folder";
  options.outputDir = folder / "taken";
  HostSession blocked(options, log, messages);
  EXPECT_FALSE(blocked.prepareOutputFolder());
  EXPECT_THAT(blocked.hostMessages().back(), HasSubstr("cannot create the output folder"));
}

}  // namespace
}  // namespace cohortix::host
