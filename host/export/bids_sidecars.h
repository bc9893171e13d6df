#pragma once
// The JSON files of a simulated BIDS dataset, as text.

#include <cstdint>
#include <string>
#include <vector>

namespace cohortix::host {

// The version the exported datasets follow.
inline constexpr char kBidsVersion[] = "1.8.0";

std::string datasetDescriptionJson(const std::string& experimentName);
std::string derivativeDescriptionJson(const std::string& experimentName);
// The dataset_description.json of `cohortix analyze`'s derivatives/analysis.
std::string analysisDescriptionJson(const std::string& experimentName);

// Describes participant_id and group; groupFactor empty: a study of one group.
std::string participantsJson(const std::string& groupFactor,
                             const std::vector<std::string>& groupNames);

// The bold volume's sidecar: times in seconds. Without a slice order every slice of
// a volume is simulated at one instant, so each of the sliceCount slice times is 0. The values are
// simulated signal in the baseline's arbitrary units (effects are percentages of
// it).
std::string boldJson(const std::string& taskLabel, double repetitionTime, int32_t sliceCount);
// With slices acquired one after the other (--slice-order): their times, one per
// slice along the image's third axis.
// `multiband` above 1 is given as MultibandAccelerationFactor.
std::string boldJson(const std::string& taskLabel, double repetitionTime, const std::vector<double>& sliceTiming,
                     int32_t multiband = 1);

}  // namespace cohortix::host
