#pragma once
// The truth files a run wrote, as the study report reads them: beside the native
// files (S1_G1_Study_truth.json, _truth_regions.nii[.gz]) or under a BIDS
// dataset's derivatives/cohortix. A subject without truth files has no truth.

#include "host/report/optional_inputs.h"

namespace cohortix::host::truth {

class TruthFilesInput final : public TruthInput {
 public:
  Result<std::optional<host::SubjectTruth>> subjectTruth(const SubjectFiles& subject) override;
  Result<std::optional<LabelMap>> subjectLabelMap(const SubjectFiles& subject) override;
};

// Where the subject's truth JSON and region label map would be: {json, regions
// without ".nii" or ".nii.gz"}.
struct TruthPaths {
  std::filesystem::path json;
  std::filesystem::path regionsStem;
};
TruthPaths truthPathsOf(const SubjectFiles& subject);

}  // namespace cohortix::host::truth
