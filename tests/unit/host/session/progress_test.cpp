// The progress line: what it says as a run goes on, and that it keeps out of the
// way of the log and the messages.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sstream>

#include "host/session/host_session.h"
#include "host/session/progress.h"
#include "tests/support/scratch_folder.h"

namespace cohortix::host {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;
using namespace std::chrono_literals;
using cohortix::testing::ScratchFolder;

class ProgressLine : public ::testing::Test {
 protected:
  Progress::Clock clock() {
    return [this] { return std::chrono::steady_clock::time_point{} + now; };
  }
  std::chrono::steady_clock::duration now{};
  std::ostringstream terminal;
};

SubjectOutcomes writtenBytes(uint64_t bytes) {
  SubjectOutcomes outcomes;
  outcomes.written("S.vtc", bytes);
  return outcomes;
}

TEST_F(ProgressLine, CountsSubjectsFromTheirEventsAndEstimatesTheTimeLeft) {
  Progress progress(terminal, true, 10, clock());
  progress.setBusy(true);
  EXPECT_EQ(progress.line(), "subject 1 of 10, 0:00 elapsed, 0.0 MB written");
  now = 20s;
  progress.noteBytesWritten(500'000);
  SubjectOutcomes first = writtenBytes(1'000'000), second = writtenBytes(1'000'000);
  progress.subjectSaved(SavedSubject{}, first);
  progress.subjectSaved(SavedSubject{}, second);
  EXPECT_EQ(progress.line(), "subject 3 of 10, 0:20 elapsed, about 1:20 left, 2.5 MB written");
  EXPECT_THAT(terminal.str(), HasSubstr("\r\033[Ksubject 3 of 10"));
}

TEST_F(ProgressLine, EstimatesFromTheRateOfSimulatedVoxelVolumesAndCountsTheDisksBytes) {
  Progress progress(terminal, true, 4, clock());
  progress.countBytesWith([] { return uint64_t{4'400'000'000}; });
  // The first subject took 30 s to simulate; its files are still being written 5 s
  // later, and the time left does not wait for them.
  now = 30s;
  progress.noteSimulated(1'000'000);
  now = 35s;
  EXPECT_EQ(progress.line(), "subject 1 of 4, 0:35 elapsed, about 1:25 left, 4400.0 MB written");
  // A faster second subject brings the rate up.
  now = 40s;
  progress.noteSimulated(1'000'000);
  EXPECT_EQ(progress.line(), "subject 1 of 4, 0:40 elapsed, about 0:40 left, 4400.0 MB written");
}

TEST_F(ProgressLine, NeverReachesTheTerminalsLastColumn) {
  for (const int columns : {120, 40, 20, 1}) {
    now = {};
    Progress progress(terminal, true, 400, clock(), [columns] { return columns; });
    now = 3725s;
    progress.noteSimulated(10);
    SubjectOutcomes outcomes = writtenBytes(123'456'789'000);
    progress.subjectSaved(SavedSubject{}, outcomes);
    const std::string fitted = progress.fittedLine();
    EXPECT_LT(fitted.size(), static_cast<std::size_t>(columns)) << fitted;
    if (columns == 120) {
      EXPECT_EQ(fitted, progress.line());
    } else if (columns == 40) {
      EXPECT_EQ(fitted, "2 of 400, 62:05, ~24771:15 left");
    } else if (columns == 20) {
      EXPECT_EQ(fitted, "2 of 400, 62:05");
    }
  }
}

TEST_F(ProgressLine, WithoutATotalSaysNoTimeLeft) {
  Progress progress(terminal, true, 0, clock());
  SubjectOutcomes outcomes;
  progress.subjectSaved(SavedSubject{}, outcomes);
  EXPECT_EQ(progress.line(), "subject 2, 0:00 elapsed, 0.0 MB written");
}

TEST_F(ProgressLine, DrawsNothingWhenDisabledOrOutsideTheBusyCursor) {
  Progress disabled(terminal, false, 3, clock());
  disabled.setBusy(true);
  SubjectOutcomes outcomes;
  disabled.subjectSaved(SavedSubject{}, outcomes);
  disabled.printAbove(terminal, "");
  disabled.finish();
  Progress idle(terminal, true, 3, clock());
  idle.subjectSaved(SavedSubject{}, outcomes);
  EXPECT_EQ(terminal.str(), "\n");
}

TEST(SessionProgress, CountsSavedSubjectsNotLogLinesAndKeepsOutOfTheMessagesWay) {
  ScratchFolder folder;
  SessionOptions options;
  options.showProgress = true;
  options.outputDir = folder.path();
  options.study = std::vector<RunSubject>(2);
  std::ostringstream log, messages;
  HostSession session(options, log, messages);
  session.general().setBusy(true);
  session.general().logText("// Plugin>  Creating simulated data for subject 7...");
  session.general().messageBox("Error accessing predictor time course");
  VTCHeader header{};
  header.XEnd = header.YEnd = header.ZEnd = header.Resolution = 1;
  ASSERT_TRUE(session.vtcs().create(2, &header));
  ASSERT_TRUE(session.vtcs().save("S1_G1_Study.vtc"));
  EXPECT_TRUE(session.finish());
  session.general().setBusy(false);
  EXPECT_EQ(log.str(), "// Plugin>  Creating simulated data for subject 7...\n")
      << "the log stays exactly as the plug-in wrote it";
  EXPECT_THAT(messages.str(), HasSubstr("\r\033[KError accessing predictor time course\n\r\033[Ksubject 1 of 2"));
  EXPECT_THAT(messages.str(), HasSubstr("\r\033[Ksubject 2 of 2, "));
  EXPECT_THAT(messages.str(), Not(HasSubstr("subject 7")));
  EXPECT_EQ(messages.str().substr(messages.str().size() - 4), "\r\033[K");
}

TEST(SessionProgress, QuietSessionsLogNothing) {
  SessionOptions options;
  options.quiet = true;
  std::ostringstream log, messages;
  HostSession session(options, log, messages);
  session.general().logText("// Plugin>  Running Cohortix...");
  session.general().messageBox("shown all the same");
  EXPECT_EQ(log.str(), "");
  EXPECT_THAT(messages.str(), HasSubstr("shown all the same"));
  EXPECT_THAT(messages.str(), Not(HasSubstr("\r")));
}

}  // namespace
}  // namespace cohortix::host
