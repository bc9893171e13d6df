#include "host/analysis/analysis_warnings.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "host/analysis/cosine_drift.h"

namespace cohortix::host {
namespace {

std::string fixed(double value, const char* format) {
  char text[32];
  std::snprintf(text, sizeof text, format, value);
  return text;
}

// How many relabellings a test has, capped at `wanted` (the observed one included).
double signFlipCount(int32_t subjects) { return std::pow(2.0, subjects); }

double splitCount(int32_t first, int32_t second) {
  double count = 1.0;
  for (int32_t k = 1; k <= first; ++k) count = count * (second + k) / k;
  return std::round(count);
}

std::string relabellingLine(const std::string& test, double available, const AnalysisOptions& options) {
  const double used = std::min<double>(available, options.permutation.permutations);
  const double smallest = 1.0 / used;
  if (smallest <= options.alpha) return "";
  return test + ": " + fixed(used, "%.0f") + " relabellings reach p = " + fixed(smallest, "%.3g") +
         " at the smallest, above --alpha " + fixed(options.alpha, "%g") +
         ": nothing can be significant (more subjects, or another --correction)";
}

}  // namespace

std::vector<std::string> relabellingWarnings(const std::vector<int32_t>& groupSizes,
                                             const std::vector<std::string>& groupNames,
                                             const AnalysisOptions& options) {
  std::vector<std::string> lines;
  if (options.correction != Correction::Fwe && options.correction != Correction::Cluster) return lines;
  const auto add = [&lines](std::string line) {
    if (!line.empty()) lines.push_back(std::move(line));
  };
  int32_t total = 0;
  for (const int32_t n : groupSizes) total += n;
  if (total >= 2) add(relabellingLine("the maps over all subjects", signFlipCount(total), options));
  if (groupSizes.size() < 2) return lines;
  for (std::size_t g = 0; g < groupSizes.size(); ++g)
    if (groupSizes[g] >= 2) add(relabellingLine("the maps of " + groupNames.at(g), signFlipCount(groupSizes[g]), options));
  if (groupSizes.size() == 2 && groupSizes[0] >= 2 && groupSizes[1] >= 2)
    add(relabellingLine("the maps between " + groupNames[0] + " and " + groupNames[1],
                        splitCount(groupSizes[0], groupSizes[1]), options));
  return lines;
}

std::vector<std::string> firstLevelWarnings(const std::vector<Predictor>& predictors, int32_t volumes,
                                            double repetitionTime, const FirstLevelOptions& options) {
  std::vector<std::string> lines;
  const int32_t drifts = cosineDriftCount(volumes, repetitionTime, options.highpassSeconds);
  if (drifts == 0) return lines;
  const std::string cutoff = "--highpass " + fixed(options.highpassSeconds, "%g");
  if (drifts > kDriftShareWarned * volumes)
    lines.push_back(cutoff + " fits " + std::to_string(drifts) + " drift regressors to " + std::to_string(volumes) +
                    " volumes, more than a quarter of them: they leave " +
                    std::to_string(std::max(0, volumes - drifts - 1 - static_cast<int32_t>(predictors.size()))) +
                    " residual degrees of freedom");
  const Eigen::MatrixXd basis = cosineDriftBasis(volumes, repetitionTime, options.highpassSeconds);
  for (const Predictor& predictor : predictors) {
    Eigen::VectorXd x = Eigen::VectorXd::Zero(volumes);
    for (int32_t t = 0; t < volumes && t < static_cast<int32_t>(predictor.values.size()); ++t)
      x(t) = predictor.values[static_cast<std::size_t>(t)];
    x.array() -= x.mean();
    const double total = x.squaredNorm();
    if (!(total > 0.0)) continue;
    // The cosines are orthonormal and orthogonal to the constant.
    const double removed = (basis.transpose() * x).squaredNorm() / total;
    if (removed > kHighPassLossWarned)
      lines.push_back(cutoff + " removes " + fixed(100.0 * removed, "%.0f") + " % of the variance of " +
                      predictor.name + ": its beta keeps " + fixed(1.0 - removed, "%.2f") +
                      " of its efficiency (the design's own frequencies lie below the cutoff)");
  }
  return lines;
}

Result<std::vector<std::string>> analysisWarnings(StudySource& source, const AnalysisOptions& options) {
  std::vector<int32_t> sizes(source.groupNames().size(), 0);
  for (const SubjectEntry& subject : source.subjects())
    if (subject.group >= 0 && static_cast<std::size_t>(subject.group) < sizes.size()) ++sizes[subject.group];
  std::vector<std::string> lines = relabellingWarnings(sizes, source.groupNames(), options);
  // The design of the first subject that can be read: a damaged one is the
  // analysis's to refuse or leave out, not the warnings'.
  for (std::size_t s = 0; s < source.subjects().size(); ++s) {
    Result<StudySubject> subject = source.load(s);
    if (!subject) continue;
    for (std::string& line : firstLevelWarnings(subject->predictors, subject->volumes,
                                                subject->repetitionTime, options.firstLevel))
      lines.push_back(std::move(line));
    break;
  }
  return lines;
}

}  // namespace cohortix::host
