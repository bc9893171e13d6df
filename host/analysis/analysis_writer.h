#pragma once
// Writes an analysis into its folder as the results come:
//   first-level/<subject>_beta.nii.gz   betas per cell (a 4-D image, one volume per cell)
//   first-level/<subject>_t.nii.gz      t per cell
//   first-level/<subject>_resvar.nii.gz residual variance
//   group/<scope>_<effect>_t.nii.gz, _effect.nii.gz, _thresholded.nii.gz
//   mask.nii.gz, subjects.tsv, maps.tsv, analysis.json
// and, given the study's truth, truth_regions.nii.gz (the asked regions, labelled
// by number) and group/<scope>_<effect>_truth.nii.gz (each map's true effect in
// the asked regions; _truth_received.nii.gz in the regions its subjects received),
// each NIfTI image with a JSON sidecar saying what it holds and, for the group
// maps, what they are thresholded at and which files are their truth. Every file appears complete or not at all;
// the first file that cannot be written stops the writing, and status() says why.

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "host/analysis/asked_regions.h"
#include "host/analysis/received_regions.h"
#include "host/analysis/study_analysis.h"
#include "host/export/nifti_writer.h"

namespace cohortix::host {

class DiskInterface;

class AnalysisWriter : public AnalysisSink {
 public:
  AnalysisWriter(std::filesystem::path folder, DiskInterface& disk, AnalysisOptions options,
                 std::string input);

  // The regions and effects the study's design asks for; set before the study
  // starts. Ignored, with a reason in truthNote(), when its box is not the grid.
  void setTruth(std::unique_ptr<ActiveVoxels> truth) { truth_ = std::move(truth); }
  // Each fitted subject's regions as it received them; where they differ from the
  // asked ones, every map also gets group/<scope>_<effect>_truth_received.nii.gz.
  void setReceivedRegions(ReceivedRegionsReader reader) { receivedReader_ = std::move(reader); }
  // Why no truth was written ("" when it was, or none was given).
  const std::string& truthNote() const { return truthNote_; }

  // Written as dataset_description.json beside the maps (a BIDS derivative).
  void setDatasetDescription(std::string json) { datasetDescription_ = std::move(json); }
  // What analysis.json records under "Warnings".
  void setWarnings(std::vector<std::string> warnings) { warnings_ = std::move(warnings); }

  void studyStarted(const StudyDescription& study) override;
  void subjectFitted(const SubjectEntry& subject, const FirstLevelFit& fit) override;
  void subjectSkipped(const SubjectEntry& subject, const Status& why) override;
  void groupMapMade(const GroupTest& groupTest, const StatisticMap& map,
                    const MapThreshold& threshold) override;
  void studyFinished(const GroupAccumulator& accumulator) override;

  // The subjects left out ("sub-03: cannot read ...: the gzip stream is cut short").
  const std::vector<std::string>& skipped() const { return skipped_; }

  // Ok, or "cannot write FILE: reason" for the first file that could not be written.
  const Status& status() const { return status_; }

  // The stem of the files of a group map ("all_cell1-Faces").
  std::string mapStem(const GroupTest& groupTest) const;

 private:
  void writeMaps(const std::filesystem::path& file, const float* data, int32_t count,
                 MapIntent intent, double df, const std::string& description);
  void writeText(const std::filesystem::path& file, std::string_view text);
  void keep(Status status);
  void addReceivedRegions(const SubjectEntry& subject);
  // ", \"MotionRegressors\": ..." when they are in the first level, else "".
  std::string motionRegressorsJson() const;
  // The map's true effect and its sidecar; the sidecar keys that name the truth.
  std::string writeTruth(const GroupTest& groupTest);
  // `thresholded`: the map holds its statistic only where significant, 0 elsewhere.
  std::string groupSidecar(const GroupTest& groupTest, const StatisticMap& map,
                           const MapThreshold& threshold, const std::string& values,
                           bool thresholded = false, const std::string& truthKeys = "") const;

  std::filesystem::path folder_;
  DiskInterface& disk_;
  std::vector<std::string> skipped_;
  std::string skippedJson_;
  AnalysisOptions options_;
  std::string input_;
  StudyDescription study_;
  std::vector<std::string> effectLabels_;
  std::vector<int32_t> groupSubjects_;
  std::string subjectRows_;
  std::string mapRows_;
  std::unique_ptr<ActiveVoxels> truth_;
  ReceivedRegionsReader receivedReader_;
  std::optional<ReceivedRegions> received_;
  std::string truthNote_;
  std::vector<std::string> warnings_;
  std::string datasetDescription_;
  Status status_;
};

}  // namespace cohortix::host
