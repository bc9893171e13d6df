#pragma once
// Writes an analysis into its folder as the results come:
//   first-level/<subject>_beta.nii.gz   betas per cell (a 4-D image, one volume per cell)
//   first-level/<subject>_t.nii.gz      t per cell
//   first-level/<subject>_resvar.nii.gz residual variance
//   group/<scope>_<effect>_t.nii.gz, _effect.nii.gz, _thresholded.nii.gz
//   mask.nii.gz, subjects.tsv, maps.tsv, analysis.json
// each NIfTI image with a JSON sidecar saying what it holds and, for the group
// maps, what they are thresholded at. Every file appears complete or not at all;
// the first file that cannot be written stops the writing, and status() says why.

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "host/analysis/study_analysis.h"
#include "host/export/nifti_writer.h"

namespace cohortix::host {

class DiskInterface;

class AnalysisWriter : public AnalysisSink {
 public:
  AnalysisWriter(std::filesystem::path folder, DiskInterface& disk, AnalysisOptions options,
                 std::string input);

  void studyStarted(const StudyDescription& study) override;
  void subjectFitted(const SubjectEntry& subject, const FirstLevelFit& fit) override;
  void groupMapMade(const GroupTest& groupTest, const StatisticMap& map,
                    const MapThreshold& threshold) override;
  void studyFinished(const GroupAccumulator& accumulator) override;

  // Ok, or "cannot write FILE: reason" for the first file that could not be written.
  const Status& status() const { return status_; }

  // The stem of the files of a group map ("all_cell1-Faces").
  std::string mapStem(const GroupTest& groupTest) const;

 private:
  void writeMaps(const std::filesystem::path& file, const float* data, int32_t count,
                 MapIntent intent, double df, const std::string& description);
  void writeText(const std::filesystem::path& file, std::string_view text);
  void keep(Status status);
  // `thresholded`: the map holds its statistic only where significant, 0 elsewhere.
  std::string groupSidecar(const GroupTest& groupTest, const StatisticMap& map,
                           const MapThreshold& threshold, const std::string& values,
                           bool thresholded = false) const;

  std::filesystem::path folder_;
  DiskInterface& disk_;
  AnalysisOptions options_;
  std::string input_;
  StudyDescription study_;
  std::vector<std::string> effectLabels_;
  std::vector<int32_t> groupSubjects_;
  std::string subjectRows_;
  std::string mapRows_;
  Status status_;
};

}  // namespace cohortix::host
