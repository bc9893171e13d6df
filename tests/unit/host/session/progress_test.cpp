// The progress line: what it says as a run goes on, and that it keeps out of the
// way of the log and the messages.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sstream>

#include "host/session/host_session.h"
#include "host/session/progress.h"

namespace cohortix::host {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;
using namespace std::chrono_literals;

class ProgressLine : public ::testing::Test {
 protected:
  Progress::Clock clock() {
    return [this] { return std::chrono::steady_clock::time_point{} + now; };
  }
  std::chrono::steady_clock::duration now{};
  std::ostringstream terminal;
};

TEST_F(ProgressLine, CountsSubjectsAndEstimatesTheTimeLeft) {
  Progress progress(terminal, true, 10, clock());
  progress.setBusy(true);
  progress.noteLogLine("// Plugin>  Creating simulated data for subject 1...");
  EXPECT_EQ(progress.line(), "subject 1 of 10, 0:00 elapsed, 0.0 MB written");
  now = 20s;
  progress.noteBytesWritten(2'500'000);
  progress.noteSubjectFinished();
  progress.noteSubjectFinished();
  progress.noteLogLine("// Plugin>  Creating simulated data for subject 3...");
  EXPECT_EQ(progress.line(), "subject 3 of 10, 0:20 elapsed, about 1:20 left, 2.5 MB written");
  EXPECT_THAT(terminal.str(), HasSubstr("\r\033[Ksubject 3 of 10"));
}

TEST_F(ProgressLine, WithoutATotalSaysNoTimeLeft) {
  Progress progress(terminal, true, 0, clock());
  progress.noteLogLine("// Plugin>  Creating simulated data for subject 12...");
  progress.noteSubjectFinished();
  EXPECT_EQ(progress.line(), "subject 12, 0:00 elapsed, 0.0 MB written");
}

TEST_F(ProgressLine, DrawsNothingWhenDisabledOrOutsideTheBusyCursor) {
  Progress disabled(terminal, false, 3, clock());
  disabled.setBusy(true);
  disabled.noteLogLine("// Plugin>  Creating simulated data for subject 1...");
  disabled.noteSubjectFinished();
  disabled.finish();
  Progress idle(terminal, true, 3, clock());
  idle.noteLogLine("// Plugin>  Creating simulated data for subject 1...");
  EXPECT_EQ(terminal.str(), "");
}

TEST(SessionProgress, IsClearedBeforeMessagesAndGoneAtTheEnd) {
  SessionOptions options;
  options.showProgress = true;
  options.nrOfSubjects = 2;
  std::ostringstream log, messages;
  HostSession session(options, log, messages);
  session.showBusyCursor();
  session.logText("// Plugin>  Creating simulated data for subject 1...");
  session.messageBox("Error accessing predictor time course");
  session.stopBusyCursor();
  EXPECT_TRUE(session.finish());
  EXPECT_EQ(log.str(), "// Plugin>  Creating simulated data for subject 1...\n")
      << "the log stays exactly as the plug-in wrote it";
  EXPECT_THAT(messages.str(), HasSubstr("\r\033[KError accessing predictor time course\n\r\033[Ksubject 1 of 2"));
  EXPECT_EQ(messages.str().substr(messages.str().size() - 4), "\r\033[K");
}

TEST(SessionProgress, QuietSessionsLogNothing) {
  SessionOptions options;
  options.quiet = true;
  std::ostringstream log, messages;
  HostSession session(options, log, messages);
  session.logText("// Plugin>  Running Cohortix...");
  session.messageBox("shown all the same");
  EXPECT_EQ(log.str(), "");
  EXPECT_THAT(messages.str(), HasSubstr("shown all the same"));
  EXPECT_THAT(messages.str(), Not(HasSubstr("\r")));
}

}  // namespace
}  // namespace cohortix::host
