#include "host/analysis/analysis_writer.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "host/analysis/analysis_text.h"
#include "host/analysis/analysis_truth.h"
#include "host/export/export_file.h"
#include "host/export/json_text.h"
#include "host/export/nifti_writer.h"
#include "host/export/tsv_field.h"

namespace cohortix::host {
namespace {

namespace fs = std::filesystem;

constexpr char kFirstLevel[] = "first-level";
constexpr char kGroup[] = "group";
constexpr char kTruthRegions[] = "truth_regions.nii.gz";
constexpr char kTruthRegionsSidecar[] = "truth_regions.json";

std::string tailName(Tail tail) { return tail == Tail::Two ? "two" : "upper"; }

std::string testName(const GroupTest& groupTest) {
  return groupTest.twoSample ? "two-sample t (Welch)" : "one-sample t";
}

double peakOf(const std::vector<float>& t) {
  double peak = 0.0;
  for (float value : t) peak = std::max(peak, static_cast<double>(std::fabs(value)));
  return peak;
}

// A permutation threshold says how many relabellings it rests on, and whether
// they were all there are (an exact test, the same on every machine); a cluster
// threshold also what formed and joined the clusters and how large one must be.
std::string relabellingsJson(const MapThreshold& threshold) {
  if (!byPermutation(threshold.correction)) return "";
  std::string json = ", \"Relabellings\": " + std::to_string(threshold.relabellings) +
                     ", \"Exhaustive\": " + (threshold.exhaustive ? "true" : "false");
  if (threshold.correction != Correction::Cluster) return json;
  const auto significant = std::count_if(threshold.clusters.begin(), threshold.clusters.end(),
                                         [](const MapCluster& cluster) { return cluster.significant; });
  const bool none = threshold.criticalVoxels == std::numeric_limits<int64_t>::max();
  return json + ", \"Connectivity\": " + std::to_string(static_cast<int>(threshold.connectivity)) +
         ", \"CriticalClusterVoxels\": " + (none ? "null" : std::to_string(threshold.criticalVoxels)) +
         ", \"Clusters\": " + std::to_string(threshold.clusters.size()) +
         ", \"SignificantClusters\": " + std::to_string(significant);
}

// One row per cluster, largest first: its side, size, corrected p-value, whether
// it is significant, and its peak (t and Talairach millimetres).
std::string clusterTable(const MapThreshold& threshold, const StudyGrid& grid) {
  std::string table = "cluster\tside\tvoxels\tp_fwe\tsignificant\tpeak_t\tpeak_x\tpeak_y\tpeak_z\n";
  const int64_t dimX = grid.dims.DimX, dimY = grid.dims.DimY;
  for (std::size_t c = 0; c < threshold.clusters.size(); ++c) {
    const MapCluster& cluster = threshold.clusters[c];
    const double voxel[3] = {static_cast<double>(cluster.peakVoxel % dimX),
                             static_cast<double>(cluster.peakVoxel / dimX % dimY),
                             static_cast<double>(cluster.peakVoxel / dimX / dimY)};
    table += std::to_string(c + 1) + '\t' + (cluster.side > 0 ? "positive" : "negative") + '\t' +
             std::to_string(cluster.voxels) + '\t' + tableNumber(cluster.pFamilyWise) + '\t' +
             (cluster.significant ? "yes" : "no") + '\t' + tableNumber(cluster.peakT);
    for (const auto& row : grid.affine)
      table += '\t' + tableNumber(row[0] * voxel[0] + row[1] * voxel[1] + row[2] * voxel[2] + row[3]);
    table += '\n';
  }
  return table;
}

std::string thresholdJson(const MapThreshold& threshold) {
  return "{\"Correction\": " + jsonString(correctionName(threshold.correction)) +
         ", \"Alpha\": " + jsonNumber(threshold.alpha) + ", \"P\": " + jsonNumber(threshold.p) +
         ", \"T\": " + jsonNumber(threshold.t) +
         ", \"TestedVoxels\": " + std::to_string(threshold.tested) +
         ", \"SignificantVoxels\": " + std::to_string(threshold.significant) + relabellingsJson(threshold) + "}";
}

}  // namespace

AnalysisWriter::AnalysisWriter(fs::path folder, DiskInterface& disk, AnalysisOptions options,
                               std::string input)
    : folder_(std::move(folder)), disk_(disk), options_(std::move(options)), input_(std::move(input)) {}

void AnalysisWriter::studyStarted(const StudyDescription& study) {
  study_ = study;
  int32_t cell = 0;
  int32_t contrast = 0;
  for (const Effect& effect : study.effects) {
    const std::string number = effect.isCell ? "cell" + std::to_string(++cell)
                                             : "con" + std::to_string(++contrast);
    const std::string label = fileLabel(effect.name);
    effectLabels_.push_back(label.empty() ? number : number + "-" + label);
  }
  groupSubjects_.assign(study.groupNames.size(), 0);
  keep(makeExportFolder(disk_, folder_ / kFirstLevel));
  keep(makeExportFolder(disk_, folder_ / kGroup));
  if (!datasetDescription_.empty()) writeText(folder_ / "dataset_description.json", datasetDescription_);
  if (!truth_) return;
  const auto voxels = static_cast<std::size_t>(study.grid.voxels());
  if (truth_->nullVoxels().size() != voxels) {
    truthNote_ = "the control file's box has " + std::to_string(truth_->nullVoxels().size()) +
                 " voxels, the subjects' grid " + std::to_string(voxels) + ": no truth written";
    truth_.reset();
    return;
  }
  const std::vector<float> labels = askedRegionLabels(*truth_, voxels);
  if (receivedReader_)
    received_.emplace(static_cast<int32_t>(study.groupNames.size()), RegionLabels(labels.begin(), labels.end()));
  writeMaps(folder_ / kTruthRegions, labels.data(), 1, MapIntent::None, 0.0, "Cohortix asked regions");
  writeText(folder_ / kTruthRegionsSidecar,
            "{\"Values\": \"the regions as the design asks them (unjittered centre and radius, clipped to "
            "the box; a later region takes a shared voxel): region N labelled N, 0 elsewhere\", \"Regions\": " +
                std::to_string(truth_->regions()) + "}\n");
}

std::string AnalysisWriter::writeTruth(const GroupTest& groupTest) {
  if (!truth_) return "";
  const std::string stem = mapStem(groupTest) + "_truth";
  const Effect& effect = study_.effects.at(groupTest.effect);
  const auto voxels = static_cast<std::size_t>(study_.grid.voxels());
  const std::vector<float> effects = trueEffectMap(*truth_, effect, groupTest, voxels);
  const std::string regions = std::string("../") + kTruthRegions;
  writeMaps(folder_ / kGroup / (stem + ".nii.gz"), effects.data(), 1, MapIntent::Estimate, 0.0,
            "Cohortix true effect, percent");
  std::string receivedKeys;
  if (received_ && received_->differsFromAsked()) {
    const std::vector<float> receivedEffects = received_->trueEffectMap(*truth_, effect, groupTest);
    writeMaps(folder_ / kGroup / (stem + "_received.nii.gz"), receivedEffects.data(), 1, MapIntent::Estimate,
              0.0, "Cohortix true effect received, percent");
    receivedKeys = ", \"TrueEffectReceived\": " + jsonString(stem + "_received.nii.gz");
  }
  writeText(folder_ / kGroup / (stem + ".json"),
            "{\"Map\": " + jsonString(mapStem(groupTest)) +
                ", \"Values\": \"the map's true effect in percent of the baseline in every asked region: the "
                "effect's weights times the mean effect table rows of its subjects (the second group's "
                "subtracted between groups), 0 elsewhere\", \"Effect\": " + jsonString(effect.name) +
                ", \"Weights\": " + jsonNumbers(effect.weights) + ", \"Groups\": " +
                jsonString(groupTest.groups) + ", \"Truth\": " + jsonString(regions) + receivedKeys + "}\n");
  return ", \"Truth\": " + jsonString(regions) + ", \"TrueEffect\": " + jsonString(stem + ".nii.gz") +
         receivedKeys;
}

void AnalysisWriter::addReceivedRegions(const SubjectEntry& subject) {
  if (!received_) return;
  Result<std::optional<RegionLabels>> labels = receivedReader_(subject);
  // A run without its truth has no received regions: the asked ones are the truth.
  if (labels && !labels.value()) {
    received_.reset();
    return;
  }
  Status added = labels ? received_->add(subject.group, *labels.value()) : labels.status();
  if (!added) {
    truthNote_ = "the regions " + subject.name + " received cannot be read (" + added.message() +
                 "): the truth is the asked regions only";
    received_.reset();
  }
}

void AnalysisWriter::writeMaps(const fs::path& file, const float* data, int32_t count, MapIntent intent,
                               double df, const std::string& description) {
  NiftiMaps maps;
  maps.dims = study_.grid.dims;
  maps.affine = study_.grid.affine;
  maps.NrOfMaps = count;
  maps.data = data;
  maps.intent = intent;
  maps.degreesOfFreedom = df;
  maps.description = description;
  if (status_) keep(writeNiftiMaps(disk_, file, maps));
}

void AnalysisWriter::writeText(const fs::path& file, std::string_view text) {
  if (status_) keep(writeExportText(disk_, file, text));
}

void AnalysisWriter::keep(Status status) {
  if (status_ && !status) status_ = std::move(status);
}

void AnalysisWriter::subjectFitted(const SubjectEntry& subject, const FirstLevelFit& fit) {
  addReceivedRegions(subject);
  const fs::path stem = folder_ / kFirstLevel / safeFileStem(subject.name);
  const std::string group = study_.groupNames.at(static_cast<std::size_t>(subject.group));
  ++groupSubjects_.at(static_cast<std::size_t>(subject.group));
  const std::string common =
      "\"Subject\": " + jsonString(subject.name) + ", \"Group\": " + jsonString(group) +
      ", \"Cells\": " + jsonStrings(study_.cellNames) + ", \"Baseline\": " + jsonNumber(fit.baseline) +
      ", \"AR1\": " + jsonNumber(fit.ar1) + ", \"ResidualDegreesOfFreedom\": " +
      std::to_string(fit.residualDf) + ", \"DriftRegressors\": " + std::to_string(fit.driftRegressors) +
      ", \"SmoothingFwhmMm\": " + jsonNumber(options_.smoothFwhmMm) + motionRegressorsJson();
  const auto sidecar = [&](const std::string& suffix, const std::string& values) {
    writeText(stem.string() + suffix + ".json",
                    "{\"Values\": " + jsonString(values) + ", " + common + "}\n");
  };
  writeMaps(stem.string() + "_beta.nii.gz", fit.betaPercent.data(), fit.cells,
            MapIntent::Estimate, 0.0, "Cohortix betas, percent of baseline");
  sidecar("_beta", "beta of each cell in percent of the subject's baseline, one volume per cell");
  writeMaps(stem.string() + "_t.nii.gz", fit.t.data(), fit.cells, MapIntent::TTest,
            fit.residualDf, "Cohortix first-level t");
  sidecar("_t", "t of each cell's beta, one volume per cell");
  writeMaps(stem.string() + "_resvar.nii.gz", fit.residualVariance.data(), 1,
            MapIntent::None, 0.0, "Cohortix residual variance, percent^2");
  sidecar("_resvar", fit.ar1 != 0.0 ? "variance of the whitened residuals (the AR(1) innovation), "
                                      "in percent of the baseline, squared"
                                    : "residual variance in percent of the baseline, squared");
  subjectRows_ += tsvField(subject.name) + '\t' + tsvField(group) + '\t' + tableNumber(fit.baseline) +
                  '\t' + tableNumber(fit.ar1) + '\t' + std::to_string(fit.residualDf) + '\t' +
                  std::to_string(fit.driftRegressors) + '\n';
}

std::string AnalysisWriter::motionRegressorsJson() const {
  if (!options_.motionRegressors.enabled()) return "";
  return ", \"MotionRegressors\": " + jsonString(options_.motionRegressors.recorded());
}

std::string AnalysisWriter::mapStem(const GroupTest& groupTest) const {
  return groupTest.scope + "_" + effectLabels_.at(groupTest.effect);
}

std::string AnalysisWriter::groupSidecar(const GroupTest& groupTest, const StatisticMap& map,
                                         const MapThreshold& threshold, const std::string& values,
                                         bool thresholded, const std::string& truthKeys) const {
  const Effect& effect = study_.effects.at(groupTest.effect);
  std::string subjects;
  if (groupTest.twoSample)
    subjects = "[" + std::to_string(groupSubjects_[groupTest.group]) + ", " +
               std::to_string(groupSubjects_[groupTest.otherGroup]) + "]";
  else if (groupTest.group >= 0)
    subjects = std::to_string(groupSubjects_[groupTest.group]);
  else
    subjects = std::to_string(static_cast<int32_t>(map.df) + 1);
  return "{\"Map\": " + jsonString(mapStem(groupTest)) + ", \"Values\": " + jsonString(values) +
         ", \"Test\": " + jsonString(testName(groupTest)) + ", \"Effect\": " + jsonString(effect.name) +
         ", \"Weights\": " + jsonNumbers(effect.weights) + ", \"Groups\": " + jsonString(groupTest.groups) +
         ", \"Subjects\": " + subjects + ", \"DegreesOfFreedom\": " + jsonNumber(map.df) +
         ", \"Tail\": " + jsonString(tailName(options_.tail)) +
         ", \"SmoothingFwhmMm\": " + jsonNumber(options_.smoothFwhmMm) +
         ", \"Threshold\": " + thresholdJson(threshold) +
         (thresholded ? ", \"Thresholded\": true" : "") + truthKeys + "}\n";
}

void AnalysisWriter::groupMapMade(const GroupTest& groupTest, const StatisticMap& map,
                                  const MapThreshold& threshold) {
  const std::string stem = (folder_ / kGroup / mapStem(groupTest)).string();
  const MapIntent tIntent = std::isnan(map.df) ? MapIntent::None : MapIntent::TTest;
  const std::string truth = writeTruth(groupTest);
  writeMaps(stem + "_t.nii.gz", map.t.data(), 1, tIntent, map.df, "Cohortix group t");
  writeText(stem + "_t.json", groupSidecar(groupTest, map, threshold, "t statistic", false, truth));
  writeMaps(stem + "_effect.nii.gz", map.effect.data(), 1, MapIntent::Estimate,
            0.0, "Cohortix group effect, percent");
  writeText(stem + "_effect.json",
                  groupSidecar(groupTest, map, threshold,
                               groupTest.twoSample ? "difference of the groups' mean effects in percent "
                                                "of the subjects' baselines"
                                              : "mean effect in percent of the subjects' baselines",
                               false, truth));
  std::vector<float> kept(map.t.size(), 0.0f);
  for (std::size_t v = 0; v < kept.size(); ++v)
    if (threshold.passes(v, map.p[v], map.t[v])) kept[v] = map.t[v];
  writeMaps(stem + "_thresholded.nii.gz", kept.data(), 1, tIntent, map.df,
            "Cohortix group t, thresholded");
  writeText(stem + "_thresholded.json",
                  groupSidecar(groupTest, map, threshold,
                               "t statistic where significant at the threshold, 0 elsewhere", true, truth));
  if (!threshold.correctedP.empty()) {
    writeMaps(stem + "_pfwe.nii.gz", threshold.correctedP.data(), 1, MapIntent::PValue, 0.0,
              "Cohortix group family-wise p");
    writeText(stem + "_pfwe.json",
              groupSidecar(groupTest, map, threshold,
                           threshold.correction == Correction::Cluster
                               ? "family-wise p-value of the voxel's cluster, 1 outside every cluster"
                               : "family-wise p-value of the voxel, 1 where not tested",
                           false, truth));
  }
  if (threshold.correction == Correction::Cluster) writeText(stem + "_clusters.tsv", clusterTable(threshold, study_.grid));
  const std::string subjects =
      groupTest.twoSample ? std::to_string(groupSubjects_[groupTest.group]) + "+" +
                           std::to_string(groupSubjects_[groupTest.otherGroup])
                     : (groupTest.group >= 0 ? std::to_string(groupSubjects_[groupTest.group])
                                        : std::to_string(static_cast<int32_t>(map.df) + 1));
  mapRows_ += mapStem(groupTest) + '\t' + testName(groupTest) + '\t' + tsvField(groupTest.groups) + '\t' +
              tsvField(study_.effects.at(groupTest.effect).name) + '\t' + subjects + '\t' +
              tableNumber(map.df) + '\t' + tailName(options_.tail) + '\t' +
              correctionName(threshold.correction) + '\t' + tableNumber(threshold.alpha) + '\t' +
              tableNumber(threshold.p) + '\t' + tableNumber(threshold.t) + '\t' +
              std::to_string(threshold.tested) + '\t' + std::to_string(threshold.significant) + '\t' +
              tableNumber(peakOf(map.t)) + '\n';
}

void AnalysisWriter::subjectSkipped(const SubjectEntry& subject, const Status& why) {
  skipped_.push_back(subject.name + ": " + why.message());
  skippedJson_ += std::string(skippedJson_.empty() ? "" : ", ") + "{\"Subject\": " + jsonString(subject.name) +
                  ", \"Reason\": " + jsonString(why.message()) + "}";
}

void AnalysisWriter::studyFinished(const GroupAccumulator& accumulator) {
  std::vector<float> mask(accumulator.mask().begin(), accumulator.mask().end());
  writeMaps(folder_ / "mask.nii.gz", mask.data(), 1, MapIntent::None, 0.0,
            "Cohortix analysis mask");
  writeText(folder_ / "mask.json",
                  "{\"Values\": \"1 where every subject's voxel holds signal (intercept above an "
                  "eighth of the subject's mean), 0 elsewhere: the voxels tested\"}\n");
  writeText(folder_ / "subjects.tsv",
                  "subject\tgroup\tbaseline\tar1\tresidual_df\tdrift_regressors\n" + subjectRows_);
  writeText(folder_ / "maps.tsv",
                  "map\ttest\tgroups\teffect\tsubjects\tdf\ttail\tcorrection\talpha\tp_threshold\t"
                  "t_threshold\ttested_voxels\tsignificant_voxels\tmax_abs_t\n" + mapRows_);
  std::string effects = "[";
  for (std::size_t e = 0; e < study_.effects.size(); ++e)
    effects += std::string(e ? ", " : "") + "{\"Name\": " + jsonString(study_.effects[e].name) +
               ", \"Label\": " + jsonString(effectLabels_[e]) +
               ", \"Weights\": " + jsonNumbers(study_.effects[e].weights) + "}";
  effects += "]";
  writeText(
      folder_ / "analysis.json",
      "{\"Input\": " + jsonString(input_) + ", \"Cells\": " + jsonStrings(study_.cellNames) +
          ", \"Groups\": " + jsonStrings(study_.groupNames) + ", \"Effects\": " + effects +
          ", \"SmoothingFwhmMm\": " + jsonNumber(options_.smoothFwhmMm) +
          ", \"HighPassSeconds\": " + jsonNumber(options_.firstLevel.highpassSeconds) +
          ", \"AR1\": " + (options_.firstLevel.ar1 ? "true" : "false") + motionRegressorsJson() +
          ", \"Alpha\": " + jsonNumber(options_.alpha) + ", \"Correction\": " +
          jsonString(correctionName(options_.correction)) + ", \"Tail\": " +
          jsonString(tailName(options_.tail)) + ", \"SkippedSubjects\": [" + skippedJson_ +
          "], \"Warnings\": " + jsonStrings(warnings_) + "}\n");
}

}  // namespace cohortix::host
