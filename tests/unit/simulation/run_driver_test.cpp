// The run as the host sees it through execute: its checks of the host's state,
// the file dialog, and the exits that end a run early, with what each leaves.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>

#include "tests/support/recording_host.h"

using ::testing::ElementsAre;
using ::testing::IsEmpty;

namespace cohortix::testing {
namespace {

const char kNoVMR[] =
    "ktMessageBox(\"This plugin requires a VMR to operate. Make sure that a Talairach-space VMR "
    "is open and that its window is active.\")";
const char kOpening[] = "ktLogText(\"// Plugin>  Running Cohortix...\")";

// A small two-cell study with rest periods: 2 groups of 3 subjects.
std::string smallStudy(int withinFactors = 1) {
  std::string text = "Version: 1\nWithin: " + std::to_string(withinFactors) +
                     "\nBetween: 1\nReserved: 0\nName: \"Tiny\"\n";
  if (withinFactors == 1) text += "Factor: \"Task\"\nLevels: 2\nL: 200 0 0 \"On\"\nL: 0 0 9 \"Off\"\n";
  text +=
      "Factor: \"Age\"\nLevels: 2\nL: 0 0 0 \"Young\"\nL: 0 0 0 \"Old\"\n"
      "Balanced: Y\nRest: Y\nRestVolumes: 2\nSubjects: 3\nReserved: 0\nTrial: 2\nTrials: 1\n"
      "Pre: 1\nPost: 1\nBoxZ: 0 4\nBoxX: 0 5\nBoxY: 0 6\nResolution: 1\nCode: 1\nBase: 1000\n"
      "SDSubjects: 10\nSDVoxels: 5\nNoise: 1\nRegions: 1\nCenter: 126 126 126\nRadius: 1\n"
      "CenterSD: 0\nRows: G\nSubjectSD: 0.5\nFlag: P\nRegion1:";
  for (int row = 0; row < 2; ++row) text += withinFactors == 1 ? " 2.0 1.0" : " 2.0";
  return text + "\n";
}

host::SessionOptions withControlFile(const std::filesystem::path& file) {
  host::SessionOptions options;
  options.controlFile = file;
  return options;
}

TEST(RunDriver, WithoutAVMRTheRunStopsBeforeTheFileDialog) {
  host::SessionOptions options;
  options.hasVMR = false;
  RecordingHost host(options);
  EXPECT_FALSE(host.runPlugin());
  EXPECT_THAT(host.calls(), ElementsAre("ktShowLogTab()", "ktLogText(\" \")", kOpening,
                                        "ktGetCurrentVMR(&, &, &)", kNoVMR));
}

TEST(RunDriver, AVMROtherThan256CubedIsRefused) {
  host::SessionOptions options;
  options.vmrDims[2] = 128;
  RecordingHost host(options);
  EXPECT_FALSE(host.runPlugin());
  EXPECT_THAT(host.messages(),
              ElementsAre("This plugin requires a Talairach-VMR with \"256\" dimensions."));
  EXPECT_THAT(host.callsTo("ktGetOpenFileName"), IsEmpty());
}

TEST(RunDriver, CancelledDialogEndsSilentlyAfterTheOpeningLines) {
  RecordingHost host;  // no control file: the dialog is cancelled
  EXPECT_FALSE(host.runPlugin());
  EXPECT_THAT(host.callsFrom("ktGetOpenFileName"),
              ElementsAre("ktGetOpenFileName(\"Enter name of control CXD file:\", \"Cohortix "
                          "control files (*.cxd)\", &)"));
  EXPECT_THAT(host.messages(), IsEmpty());
  EXPECT_THAT(host.logLines(), ElementsAre(" ", "// Plugin>  Running Cohortix..."));
}

TEST(RunDriver, RejectedControlFileCreatesNothingInTheHost) {
  ScratchFolder folder;
  const struct {
    const char* Text;
    std::string Message;
  } cases[] = {
      {"Version: 2\n", "INFO - New CXD File Format, use updated plugin."},
      {"Version: one\n", (folder.path() / "bad.cxd").string() +
                             ":1: expected an integer for the file format version, found \"one\""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Text);
    RecordingHost host(withControlFile(folder.write("bad.cxd", c.Text)));
    EXPECT_FALSE(host.runPlugin());
    // The dialog, then the reader's message and nothing else.
    EXPECT_THAT(host.callsFrom("ktGetOpenFileName"),
                ElementsAre(::testing::StartsWith("ktGetOpenFileName("),
                            "ktMessageBox(\"" + c.Message + "\")"));
    EXPECT_THAT(host.messages(), ElementsAre(c.Message));
  }
}

TEST(RunDriver, UnsupportedDesignEndsAtTheFirstSubjectWithTheCursorOff) {
  ScratchFolder folder;
  RecordingHost host(withControlFile(folder.write("none.cxd", smallStudy(0))));
  EXPECT_FALSE(host.runPlugin());
  const std::vector<std::string> tail = host.callsFrom("ktShowBusyCursor");
  ASSERT_FALSE(tail.empty());
  EXPECT_EQ(tail[1], "ktLogText(\"// Plugin>  Creating simulated data for subject 1...\")");
  EXPECT_THAT(std::vector<std::string>(tail.end() - 2, tail.end()),
              ElementsAre("ktStopBusyCursor()",
                          "ktMessageBox(\"Unsupported design. Only designs with 1, 2 or 3 within "
                          "factors supported.\")"));
  EXPECT_THAT(host.callsTo("ktSaveProtocol"), IsEmpty());
  EXPECT_FALSE(host.session().busy());
  EXPECT_EQ(host.logLines().back(), "// Plugin>  Creating simulated data for subject 1...");
}


std::vector<std::string> savedFiles(const RecordingHost& host) {
  std::vector<std::string> saved;
  for (const std::string& call : host.calls())
    if (call.rfind("ktSave", 0) == 0) saved.push_back(call.substr(call.find('"')));
  return saved;
}

TEST(RunDriver, CompleteRunHandsOverEverySubjectsThreeFilesInOrder) {
  ScratchFolder folder;
  RecordingHost host(withControlFile(folder.write("tiny.cxd", smallStudy())));
  ASSERT_TRUE(host.runPlugin());
  std::vector<std::string> expectedFiles, expectedLog = {
      " ", "// Plugin>  Running Cohortix...", "// Plugin>  Dims of created VTCs, X: 5  Y: 6  Z: 4"};
  for (int subject = 1; subject <= 6; ++subject) {
    const std::string base = "\"S" + std::to_string(subject) + "_G" +
                             std::to_string(subject <= 3 ? 1 : 2) + "_Tiny";
    for (const char* extension : {".prt\")", ".rtc\")", ".vtc\")"})
      expectedFiles.push_back(base + extension);
    expectedLog.push_back("// Plugin>  Creating simulated data for subject " +
                          std::to_string(subject) + "...");
  }
  expectedLog.push_back("// Plugin>  Cohortix Plugin completed!");
  expectedLog.push_back(" ");
  EXPECT_EQ(savedFiles(host), expectedFiles);
  EXPECT_EQ(host.logLines(), expectedLog);
  EXPECT_THAT(host.callsFrom("ktStopBusyCursor"),
              ElementsAre("ktStopBusyCursor()",
                          "ktLogText(\"// Plugin>  Cohortix Plugin completed!\")",
                          "ktLogText(\" \")", "ktUpdateActiveWindow()"));
  EXPECT_FALSE(host.session().busy());
  EXPECT_TRUE(host.session().finish());
  EXPECT_THAT(host.messages(), IsEmpty());
  // The host saw its own bytes of every record come back as it handed them out.
  EXPECT_THAT(host.session().hostMessages(), IsEmpty());
}

TEST(RunDriver, NullVTCDataEndsTheRunBeforeTheDimensionsAreLogged) {
  ScratchFolder folder;
  host::SessionOptions options = withControlFile(folder.write("tiny.cxd", smallStudy()));
  RecordingHost host(options, HostFault::NullVTCData);
  EXPECT_FALSE(host.runPlugin());
  EXPECT_THAT(host.callsFrom("ktCreateVTCForCurrentVMR"),
              ElementsAre("ktCreateVTCForCurrentVMR(12, &)", "ktGetHeaderOfVTCOfCurrentVMR(&)",
                          "ktGetVTCFloatDataOfCurrentVMR()",
                          "ktMessageBox(\"Error accessing VTC data\")"));
  EXPECT_THAT(host.logLines(), ElementsAre(" ", "// Plugin>  Running Cohortix..."));
}

TEST(RunDriver, NullPredictorStopsTheCursorAndEndsTheRunAtItsFirstUse) {
  ScratchFolder folder;
  host::SessionOptions options = withControlFile(folder.write("tiny.cxd", smallStudy()));
  RecordingHost host(options, HostFault::NullPredictor);
  EXPECT_FALSE(host.runPlugin());
  EXPECT_THAT(host.callsFrom("ktGetPredictor"),
              ElementsAre("ktGetPredictor(0)", "ktStopBusyCursor()",
                          "ktMessageBox(\"Error accessing predictor time course\")"));
  EXPECT_THAT(host.callsTo("ktSaveVTCOfCurrentVMR"), IsEmpty());
  EXPECT_EQ(host.logLines().back(), "// Plugin>  Creating simulated data for subject 1...");
  EXPECT_FALSE(host.session().busy());
}

TEST(RunDriver, NoSubjectsStillCreatesTheVTCAndCompletes) {
  ScratchFolder folder;
  std::string study = smallStudy();
  study.replace(study.find("Subjects: 3"), 11, "Subjects: 0");
  study.replace(study.find("Rows: G"), 7, "Rows: N");
  study.replace(study.find("SubjectSD: 0.5\n"), 15, "");
  study.replace(study.find(" 2.0 1.0 2.0 1.0"), 16, "");
  RecordingHost host(withControlFile(folder.write("none.cxd", study)));
  EXPECT_TRUE(host.runPlugin());
  EXPECT_THAT(savedFiles(host), IsEmpty());
  EXPECT_THAT(host.callsTo("ktCreateVTCForCurrentVMR"), ElementsAre("ktCreateVTCForCurrentVMR(12, &)"));
  EXPECT_EQ(host.logLines().size(), 5u);
}

TEST(RunDriver, TwoRunsInOneProcessEachCreateOneVTCAndWriteTheSameFiles) {
  ScratchFolder folder;
  RecordingHost host(withControlFile(folder.write("tiny.cxd", smallStudy())));
  ASSERT_TRUE(host.runPlugin());
  const std::size_t firstRunCalls = host.calls().size();
  ASSERT_TRUE(host.runPlugin());
  EXPECT_EQ(host.calls().size(), 2 * firstRunCalls);
  EXPECT_EQ(host.callsTo("ktCreateVTCForCurrentVMR").size(), 2u);
  EXPECT_EQ(host.callsTo("ktSaveVTCOfCurrentVMR").size(), 12u);
}

}  // namespace
}  // namespace cohortix::testing
