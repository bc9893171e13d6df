#include "host/export/study_exports.h"

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

using ::testing::HasSubstr;

// One subject of one group: S1_G1_Study, with a "Baseline" and two trial conditions.
struct ExportingSession {
  testing::ScratchFolder folder;
  std::ostringstream log, messages;
  std::unique_ptr<SimulationDesign> design = testing::emptyDesign("Study");
  std::unique_ptr<HostSession> session;
  std::unique_ptr<StudyExports> exports;

  explicit ExportingSession(ExportOptions options) {
    design->HasRestPeriods = true;
    testing::addWithinFactor(*design, {{"A1"}, {"A2"}});
    testing::complete(*design);
    std::ofstream(folder / "study.cxd") << "FileVersion: 1\n";
    SessionOptions run;
    run.controlFile = folder / "study.cxd";
    run.outputDir = folder / "out";
    session = std::make_unique<HostSession>(run, log, messages);
    EXPECT_TRUE(session->prepareOutputFolder());
    if (!options.bidsDir.empty()) options.bidsDir = folder / options.bidsDir;
    exports = std::make_unique<StudyExports>(
        options, ExportSetting{run.outputDir, run.controlFile, 2.0, "summary\n"}, *design,
        session->disk());
    session->setExports(exports.get());
  }
  void buildProtocol() {
    ASSERT_TRUE(session->clearProtocol());
    for (const char* name : {"Baseline", "A1", "A2"}) {
      ConditionRecord condition{};
      std::snprintf(condition.ConditionName, sizeof condition.ConditionName, "%s", name);
      ASSERT_TRUE(session->addProtocolCondition(&condition));
    }
    ASSERT_TRUE(session->addProtocolConditionInterval(0, 1, 4));
    ASSERT_TRUE(session->addProtocolConditionInterval(2, 5, 8));
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
  run.buildProtocol();
  ASSERT_TRUE(run.session->saveProtocol("S1_G1_Study.prt"));
  std::ifstream events(run.folder / "out/S1_G1_Study_events.tsv");
  std::stringstream text;
  text << events.rdbuf();
  EXPECT_EQ(text.str(), "onset\tduration\ttrial_type\n8\t8\tA2\n");
  EXPECT_TRUE(run.session->finish());
}

TEST(StudyExports, AnExportThatCannotBeWrittenIsReportedAndCountsAsNotWritten) {
  ExportingSession run(niftiBeside());
  std::filesystem::create_directories(run.folder / "out/S1_G1_Study_events.tsv/in-the-way");
  run.buildProtocol();
  EXPECT_TRUE(run.session->saveProtocol("S1_G1_Study.prt")) << "the protocol itself is written";
  EXPECT_FALSE(run.session->finish());
  const std::string events = (run.folder / "out/S1_G1_Study_events.tsv").string();
  EXPECT_THAT(run.session->filesNotWritten(), ::testing::Contains(events));
  EXPECT_THAT(run.messages.str(), HasSubstr("cohortix: cannot write " + events + ": "));
}

TEST(StudyExports, AVTCNamedForNoSubjectOfTheStudyJoinsNoDataset) {
  ExportingSession run(datasetIn("bids"));
  VTCHeader header{};
  header.XEnd = header.YEnd = header.ZEnd = 6;
  header.Resolution = 3;
  ASSERT_TRUE(run.session->createVTC(4, &header));
  EXPECT_TRUE(run.session->saveVTC("S7_G1_Study.vtc"));
  EXPECT_FALSE(run.session->finish());
  EXPECT_THAT(run.messages.str(), HasSubstr("cannot add S7_G1_Study.vtc to the BIDS dataset"));
  EXPECT_FALSE(std::filesystem::exists(run.folder / "bids/participants.tsv"));
}

}  // namespace
}  // namespace cohortix::host
