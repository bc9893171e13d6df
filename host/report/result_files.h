#pragma once
// The results `cohortix analyze` and `cohortix power` leave, as the study report
// reads them: an analysis folder (maps.tsv and the group maps under group/) and a
// power table (power.tsv). A folder or table the caller names must be there; one
// looked for in its usual place beside the run may be absent, and then the run
// simply has no such results.

#include <filesystem>
#include <optional>

#include "host/report/optional_inputs.h"

namespace cohortix::host {

class DiskInterface;

// Where `cohortix analyze RUN` writes by default: RUN/analysis, or
// RUN/derivatives/analysis in a BIDS dataset.
std::filesystem::path defaultAnalysisFolder(const std::filesystem::path& run);

class ResultFiles final : public ResultsInput {
 public:
  // Empty paths: RUN's default analysis folder, and RUN/power.tsv or
  // RUN/power/power.tsv, where present. `disk` must outlive this.
  ResultFiles(const std::filesystem::path& run, DiskInterface& disk,
              std::filesystem::path analysisFolder = {}, std::filesystem::path powerFile = {});

  Result<std::optional<std::vector<GroupMapEntry>>> groupMaps() override;
  Result<GroupMapImages> groupMapImages(const GroupMapEntry& map, int64_t voxels) override;
  Result<std::optional<std::vector<PowerEntry>>> powerTable() override;
  std::string analysisSource() const override { return analysis_ ? analysis_->string() : ""; }
  std::string powerSource() const override { return power_ ? power_->string() : ""; }

 private:
  DiskInterface& disk_;
  std::optional<std::filesystem::path> analysis_;  // nothing: no analysis
  std::optional<std::filesystem::path> power_;     // nothing: no power table
};

}  // namespace cohortix::host
