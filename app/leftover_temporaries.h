#pragma once
// What a killed run of a study leaves behind: the temporaries of the files it was
// writing. The next run of the same study into the same folder removes them.

#include <filesystem>
#include <iosfwd>
#include <string_view>

namespace cohortix::app {

// Whether name is one a run of the experiment writes into its output folder: a
// subject's native file, an export beside it, its truth or its T1w
// ("S4_G2_Study.vtc", "S4_G2_Study_events.tsv", "S4_G2_Study_truth_motion.tsv"),
// or the truth of the study or a group ("Study_truth.tsv",
// "Study_G2_truth_effects.nii").
bool isOutputOfExperiment(std::string_view name, std::string_view experimentName);

// Removes the temporaries that ended runs of the study in controlFile left in
// outputDir and says so in one line on messages; nothing when there are none or
// the control file is refused (the run says why).
void removeLeftoversOfStudy(const std::filesystem::path& controlFile,
                            const std::filesystem::path& outputDir, std::ostream& messages);

// Removes the temporaries that ended runs left anywhere in the BIDS dataset a
// resumed run has locked (every file there is the dataset's own) and says so in
// one line on messages; nothing when there are none.
void removeLeftoversOfDataset(const std::filesystem::path& dataset, std::ostream& messages);

}  // namespace cohortix::app
