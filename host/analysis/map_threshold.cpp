#include "host/analysis/map_threshold.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace cohortix::host {
namespace {

double benjaminiHochbergCut(std::vector<double> tested, double alpha) {
  std::sort(tested.begin(), tested.end());
  const auto m = static_cast<double>(tested.size());
  for (std::size_t k = tested.size(); k > 0; --k)
    if (tested[k - 1] <= static_cast<double>(k) * alpha / m) return tested[k - 1];
  // Nothing passes; the smallest of the cuts lies below every p-value.
  return alpha / m;
}

}  // namespace

std::string correctionName(Correction correction) {
  switch (correction) {
    case Correction::None: return "none";
    case Correction::Bonferroni: return "bonferroni";
    case Correction::Fdr: return "fdr";
  }
  return "none";
}

std::optional<Correction> correctionNamed(std::string_view name) {
  for (Correction c : {Correction::None, Correction::Bonferroni, Correction::Fdr})
    if (correctionName(c) == name) return c;
  return std::nullopt;
}

MapThreshold thresholdMap(const std::vector<double>& p, double df, Correction correction,
                          double alpha, Tail tail) {
  MapThreshold threshold;
  threshold.correction = correction;
  threshold.alpha = alpha;
  std::vector<double> tested;
  for (double value : p)
    if (!std::isnan(value)) tested.push_back(value);
  threshold.tested = static_cast<int64_t>(tested.size());
  const double m = std::max<double>(1.0, static_cast<double>(tested.size()));
  switch (correction) {
    case Correction::None: threshold.p = alpha; break;
    case Correction::Bonferroni: threshold.p = alpha / m; break;
    case Correction::Fdr:
      threshold.p = tested.empty() ? alpha : benjaminiHochbergCut(std::move(tested), alpha);
      break;
  }
  threshold.t = std::isnan(df) ? std::numeric_limits<double>::quiet_NaN()
                               : tCritical(threshold.p, df, tail);
  for (double value : p)
    if (value <= threshold.p) ++threshold.significant;
  return threshold;
}

}  // namespace cohortix::host
