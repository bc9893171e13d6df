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
  RecordingHost host(withControlFile(folder.write("new.cxd", "Version: 2\n")));
  EXPECT_FALSE(host.runPlugin());
  EXPECT_THAT(host.messages(), ElementsAre("INFO - New CXD File Format, use updated plugin."));
  EXPECT_THAT(host.callsFrom("ktGetOpenFileName").size(), 2u);  // the dialog, the message
}

}  // namespace
}  // namespace cohortix::testing
