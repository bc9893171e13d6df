// The exports as a sink of the output path: what goes beside the native files and
// into the dataset, for whom, and what happens to an export that cannot be written.

#include "host/session/study_exports.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "host/io/disk_interface.h"
#include "host/session/host_session.h"
#include "tests/support/scratch_folder.h"
#include "tests/support/test_designs.h"

namespace cohortix::host {
namespace {

using ::testing::Contains;
using ::testing::HasSubstr;

std::string textOf(const std::filesystem::path& file) {
  std::ifstream in(file);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// One subject of one group: S1_G1_Study, with a "Baseline" and two trial conditions.
struct ExportingSession {
  testing::ScratchFolder folder;
  RealDiskInterface disk;
  std::ostringstream log, messages;
  std::unique_ptr<SimulationDesign> design = testing::emptyDesign("Study");
  std::unique_ptr<StudyExports> exports;  // outlives the session, which uses it
  std::unique_ptr<HostSession> session;

  explicit ExportingSession(ExportOptions options) {
    design->HasRestPeriods = true;
    testing::addWithinFactor(*design, {{"A1"}, {"A2"}});
    testing::complete(*design);
    std::ofstream(folder / "study.cxd") << "FileVersion: 1\n";
    SessionOptions run;
    run.controlFile = folder / "study.cxd";
    run.outputDir = folder / "out";
    run.study = runOrderOf(*design);
    session = std::make_unique<HostSession>(run, log, messages, disk);
    EXPECT_TRUE(session->prepareOutputFolder());
    if (!options.bidsDir.empty()) options.bidsDir = folder / options.bidsDir;
    exports = StudyExports::open(options,
                                 ExportSetting{run.outputDir, run.controlFile, 2.0, "summary\n"},
                                 *design, disk)
                  .value();
    session->output().addSink(*exports);
  }
  ~ExportingSession() { session.reset(); }

  // The subject's three saves, as the plug-in makes them, under the given name.
  void saveSubject(const std::string& name = "S1_G1_Study") {
    ASSERT_TRUE(session->protocols().clear());
    for (const char* condition : {"Baseline", "A1", "A2"}) {
      ConditionRecord record{};
      std::snprintf(record.ConditionName, sizeof record.ConditionName, "%s", condition);
      ASSERT_TRUE(session->protocols().addCondition(&record));
    }
    ASSERT_TRUE(session->protocols().addInterval(0, 1, 4));
    ASSERT_TRUE(session->protocols().addInterval(2, 5, 8));
    session->protocols().save((name + ".prt").c_str());
    ASSERT_TRUE(session->protocols().load((name + ".prt").c_str()));
    ASSERT_TRUE(session->designMatrices().clear());
    session->designMatrices().save((name + ".rtc").c_str());
    VTCHeader header{};
    header.XEnd = header.YEnd = header.ZEnd = 6;
    header.Resolution = 3;
    if (session->vtc() == nullptr) {
      ASSERT_TRUE(session->vtcs().create(8, &header));
    }
    ASSERT_TRUE(session->vtcs().save((name + ".vtc").c_str()));
  }
};

ExportOptions niftiBeside() {
  ExportOptions options;
  options.nifti = true;
  return options;
}

ExportOptions datasetIn(const char* folder) {
  ExportOptions options;
  options.bidsDir = folder;
  return options;
}

TEST(StudyExports, EventsLeaveOutTheRestConditionAndGoBesideTheProtocol) {
  ExportingSession run(niftiBeside());
  run.saveSubject();
  EXPECT_TRUE(run.session->finish());
  EXPECT_EQ(textOf(run.folder / "out/S1_G1_Study_events.tsv"), "onset\tduration\ttrial_type\n8\t8\tA2\n");
  EXPECT_TRUE(std::filesystem::is_regular_file(run.folder / "out/S1_G1_Study.nii"));
}

TEST(StudyExports, AnExportThatCannotBeWrittenIsReportedAndCountsAsNotWrittenAndTheOthersGoOn) {
  ExportingSession run(niftiBeside());
  std::filesystem::create_directories(run.folder / "out/S1_G1_Study_events.tsv/in-the-way");
  run.saveSubject();
  EXPECT_FALSE(run.session->finish());
  const std::string events = (run.folder / "out/S1_G1_Study_events.tsv").string();
  EXPECT_THAT(run.session->filesNotWritten(), ::testing::ElementsAre(events));
  EXPECT_THAT(run.messages.str(), HasSubstr("cohortix: cannot write " + events + ": "));
  EXPECT_TRUE(std::filesystem::is_regular_file(run.folder / "out/S1_G1_Study.nii"));
  EXPECT_TRUE(std::filesystem::is_regular_file(run.folder / "out/S1_G1_Study.vtc"));
}

TEST(StudyExports, ASubjectWhoseProtocolWasNotSavedHasEveryExportListedByName) {
  ExportOptions options = niftiBeside();
  options.bidsDir = "bids";
  ExportingSession run(options);
  std::filesystem::create_directories(run.folder / "out/S1_G1_Study.prt");
  run.saveSubject();
  EXPECT_FALSE(run.session->finish());
  const std::filesystem::path out = run.folder / "out", func = run.folder / "bids/sub-1/func";
  const std::filesystem::path derived = run.folder / "bids/derivatives/cohortix/sub-1/func";
  EXPECT_THAT(run.session->filesNotWritten(),
              ::testing::ElementsAre(
                  "S1_G1_Study.prt", "S1_G1_Study.rtc", "S1_G1_Study.vtc",
                  (out / "S1_G1_Study_events.tsv").string(), (out / "S1_G1_Study_design.tsv").string(),
                  (out / "S1_G1_Study.nii").string(), (func / "sub-1_task-Study_bold.nii").string(),
                  (func / "sub-1_task-Study_bold.json").string(),
                  (func / "sub-1_task-Study_events.tsv").string(),
                  (derived / "sub-1_task-Study_desc-design_timeseries.tsv").string()));
  EXPECT_THAT(run.messages.str(),
              HasSubstr("cohortix: cannot write " + (out / "S1_G1_Study.nii").string() +
                        ": it is built from the protocol S1_G1_Study.prt, which could not be saved"));
}

TEST(StudyExports, ASubjectTheStudyDoesNotExpectGetsItsNativeFilesButNoExports) {
  ExportingSession run(datasetIn("bids"));
  run.saveSubject("S7_G1_Study");
  EXPECT_FALSE(run.session->finish());
  EXPECT_THAT(run.session->hostMessages(),
              Contains("cannot export S7_G1_Study.vtc: the plug-in saved S7_G1_Study.prt, "
                       "S7_G1_Study.rtc and S7_G1_Study.vtc where the study's subject 1 has "
                       "S1_G1_Study.prt, S1_G1_Study.rtc and S1_G1_Study.vtc"));
  EXPECT_THAT(run.session->filesNotWritten(), ::testing::ElementsAre("the exports of S7_G1_Study.vtc"));
  EXPECT_TRUE(std::filesystem::is_regular_file(run.folder / "out/S7_G1_Study.vtc"));
  EXPECT_FALSE(std::filesystem::exists(run.folder / "bids/participants.tsv"));
}

}  // namespace
}  // namespace cohortix::host
