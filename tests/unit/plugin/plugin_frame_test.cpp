// The plug-in as its host first meets it: metadata, loading, binding and the
// version gate, seen through small host programs that load the real library.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <cstring>
#include <memory>
#include <sstream>
#include <string>

#include "host/session/host_session.h"
#include "simulation/host_function_table.h"
#include "abi/plugin_interface.h"
#include "plugin/version_gate.h"

using ::testing::ElementsAre;
using ::testing::HasSubstr;

namespace {

const std::string kBuildDir = COHORTIX_BUILD_DIR;

// Runs a test host against the built plug-in and returns its standard output.
std::string runHost(const std::string& host, const std::string& arguments) {
  const std::string command =
      kBuildDir + "/" + host + " " + kBuildDir + "/libcohortix.so " + arguments;
  std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), pclose);
  std::string output;
  std::array<char, 512> buffer{};
  while (pipe && std::fgets(buffer.data(), buffer.size(), pipe.get()) != nullptr)
    output += buffer.data();
  return output;
}

const char kTooOld[] =
    "message: Can not execute this plugin - TessalyKT version 2.0 or higher required.\n";

TEST(PluginMetadata, TextsAreExactAndStable) {
  EXPECT_STREQ(getPluginName(), "Cohortix v1.5");
  EXPECT_STREQ(getAuthor(), "<i>Orrin Maskell</i>, Quillon Analytics");
  EXPECT_STREQ(getPluginVersion(), "2.0");
  ASSERT_NE(getHelpFile(), nullptr);
  ASSERT_NE(getGUIScript(), nullptr);
  EXPECT_STREQ(getHelpFile(), "");
  EXPECT_STREQ(getGUIScript(), "");
  EXPECT_STREQ(getPluginDescription(),
               "This tool allows to create simulated volume time course (VTC) data, protocols "
               "(PRT files) and design matrices (RTC files) for multi-factorial designs with "
               "between and within factors. The experimental design, mean effect values as well "
               "as other parameters must be specified in a \"CXD\" file.<br><br>For more "
               "details, check the <a href=\"CohortixPluginHelp/index.html\"><b>Cohortix "
               "Online Help</b></a><br>");
  EXPECT_EQ(getPluginName(), getPluginName());
  EXPECT_EQ(getPluginDescription(), getPluginDescription());
}

TEST(VersionGate, ComparesTriplesLexicographicallyAsSignedIntegers) {
  EXPECT_TRUE(cohortix::versionAtLeast(2, 0, 0, 2, 0, 0));
  EXPECT_TRUE(cohortix::versionAtLeast(2, 1, 0, 2, 0, 0));
  EXPECT_TRUE(cohortix::versionAtLeast(3, 0, 0, 2, 0, 0));
  EXPECT_TRUE(cohortix::versionAtLeast(2, 0, 7, 2, 0, 0));
  EXPECT_FALSE(cohortix::versionAtLeast(1, 9, 9, 2, 0, 0));
  EXPECT_FALSE(cohortix::versionAtLeast(2, 0, -1, 2, 0, 0));
  EXPECT_FALSE(cohortix::versionAtLeast(1, 99, 99, 2, 0, 0));
  EXPECT_FALSE(cohortix::versionAtLeast(2, -1, 5, 2, 0, 0));
}

TEST(PluginLoading, HostsFromVersionTwoOnAreAccepted) {
  for (const char* version : {"2 0 0", "2 1 0", "3 0 0"}) {
    const std::string output = runHost("test_host_full", version);
    EXPECT_EQ(output, "call: ktGetVersionOfTessalyKT\ninitPlugin: true\n") << version;
  }
}

TEST(PluginLoading, OlderHostsAreRefusedWithTheVersionMessage) {
  for (const char* version : {"1 9 9", "2 0 -1"}) {
    const std::string output = runHost("test_host_full", version);
    EXPECT_EQ(output, std::string("call: ktGetVersionOfTessalyKT\n") + kTooOld +
                          "initPlugin: false\n")
        << version;
  }
}

TEST(PluginLoading, AProgramExportingNoHostFunctionIsRefusedSilently) {
  EXPECT_EQ(runHost("test_host_exporting_nothing", "2 0 0 execute"),
            "initPlugin: false\nexecute: false\n");
}

TEST(PluginLoading, AHostMissingACalledFunctionIsRefusedByName) {
  const std::string output = runHost("test_host_without_busy_cursor", "2 0 0");
  EXPECT_THAT(output, HasSubstr("message: Can not execute this plugin - TessalyKT does not "
                                "provide these functions: ktShowBusyCursor.\n"));
  EXPECT_THAT(output, HasSubstr("initPlugin: false\n"));
}

TEST(PluginLoading, ExecuteWithoutInitialisationCallsNothing) {
  EXPECT_EQ(runHost("test_host_full", "2 0 0 execute-only"), "execute: false\n");
}

TEST(PluginLoading, ExecuteAfterARefusedInitialisationCallsNothing) {
  EXPECT_EQ(runHost("test_host_full", "1 9 9 execute"),
            std::string("call: ktGetVersionOfTessalyKT\n") + kTooOld +
                "initPlugin: false\nexecute: false\n");
}

TEST(HostFunctionTable, BindingTwiceGivesTheSameAddresses) {
  ASSERT_TRUE(cohortix::bindHostFunctionTable());
  const cohortix::HostFunctionTable first = cohortix::hostFunctions();
  ASSERT_TRUE(cohortix::bindHostFunctionTable());
  EXPECT_EQ(std::memcmp(&first, &cohortix::hostFunctions(), sizeof first), 0);
  EXPECT_NE(first.ktLogText, nullptr);
  EXPECT_EQ(first.ktLaunchICADialog, nullptr);  // bound, not provided by our host
  EXPECT_EQ(cohortix::missingCalledHostFunctions(), "");
}

TEST(PluginObjects, AreIndependentOfEachOther) {
  std::ostringstream log, messages;
  cohortix::host::SessionOptions options;
  options.hasVMR = false;
  cohortix::host::HostSession session(options, log, messages);
  cohortix::host::setCurrentHostSession(&session);
  TSKTPluginInterface* first = createPlugin();
  TSKTPluginInterface* second = createPlugin();
  EXPECT_NE(first, second);
  EXPECT_TRUE(first->initPlugin());
  delete first;
  EXPECT_FALSE(second->execute());  // no VMR: the run's first check stops it
  EXPECT_THAT(session.messagesShown(),
              ElementsAre("This plugin requires a VMR to operate. Make sure that a "
                          "Talairach-space VMR is open and that its window is active."));
  delete second;
  cohortix::host::setCurrentHostSession(nullptr);
}

}  // namespace
