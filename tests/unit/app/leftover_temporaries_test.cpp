// A run removes only what earlier runs of its own study left: names of another
// experiment, even one whose name starts alike, are not its own.

#include "app/leftover_temporaries.h"

#include <gtest/gtest.h>

namespace cohortix::app {
namespace {

TEST(LeftoverTemporaries, OnlyTheExperimentsOwnOutputNamesAreItsOwn) {
  for (const char* name : {"S1_G1_Study.prt", "S12_G3_Study.vtc", "S1_G1_Study_events.tsv",
                           "S1_G1_Study_design.tsv", "S2_G1_Study.nii", "S2_G1_Study.nii.gz"})
    EXPECT_TRUE(isOutputOfExperiment(name, "Study")) << name;
  for (const char* name : {"S1_G1_Study_2.prt", "S1_G1_Stud.prt", "S1_G1_Study.prt.bak", "S_G1_Study.prt",
                           "S1G1_Study.prt", "X1_G1_Study.prt", "S1_G1_Study", "participants.tsv"})
    EXPECT_FALSE(isOutputOfExperiment(name, "Study")) << name;
}

}  // namespace
}  // namespace cohortix::app
