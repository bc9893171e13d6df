// The host never follows a null text from the plug-in: a log line or message box
// without text is refused with the host's own report, and nothing is shown.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sstream>

#include "host/session/host_session.h"

namespace cohortix::host {
namespace {

using ::testing::ElementsAre;

TEST(HostRefusals, NullTextsForTheLogAndTheMessageBoxAreReportedNotFollowed) {
  std::ostringstream log, messages;
  HostSession session(SessionOptions{}, log, messages);
  session.general().logText(nullptr);
  session.general().messageBox(nullptr);
  EXPECT_EQ(log.str(), "");
  EXPECT_TRUE(session.messagesShown().empty());
  EXPECT_THAT(session.hostMessages(),
              ElementsAre("ktLogText: no text given", "ktMessageBox: no text given"));
}

}  // namespace
}  // namespace cohortix::host
