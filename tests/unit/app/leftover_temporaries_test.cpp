// A run removes only what earlier runs of its own study left (their subjects'
// files and truth, the study's truth): names of another experiment, even one
// whose name starts alike, are not its own.

#include "app/leftover_temporaries.h"

#include <gtest/gtest.h>

namespace cohortix::app {
namespace {

TEST(LeftoverTemporaries, OnlyTheExperimentsOwnOutputNamesAreItsOwn) {
  for (const char* name : {"S1_G1_Study.prt", "S12_G3_Study.vtc", "S1_G1_Study_events.tsv",
                           "S1_G1_Study_design.tsv", "S2_G1_Study.nii", "S2_G1_Study.nii.gz",
                           "S2_G1_Study_truth_motion.tsv", "S2_G1_Study_T1w.nii.gz", "S3_G2_Study_truth.json",
                           "Study_truth.tsv", "Study_truth_brain_mask.nii", "Study_G2_truth_effects.nii.gz"})
    EXPECT_TRUE(isOutputOfExperiment(name, "Study")) << name;
  for (const char* name : {"S1_G1_Study_2.prt", "S1_G1_Stud.prt", "S1_G1_Study.prt.bak", "S_G1_Study.prt",
                           "S1G1_Study.prt", "X1_G1_Study.prt", "S1_G1_Study", "participants.tsv",
                           "S1_G1_Study_truth.tsv", "Study_truth.json", "Study_G_truth_effects.nii",
                           "Study_2_truth.tsv", "Study_G1_truth.tsv", "S1_G1_Study_2_truth.json"})
    EXPECT_FALSE(isOutputOfExperiment(name, "Study")) << name;
}

}  // namespace
}  // namespace cohortix::app
