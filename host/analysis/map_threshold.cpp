#include "host/analysis/map_threshold.h"

#include <algorithm>
#include <cmath>
#include <functional>
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
    case Correction::Fwe: return "fwe";
  }
  return "none";
}

std::optional<Correction> correctionNamed(std::string_view name) {
  for (Correction c : {Correction::None, Correction::Bonferroni, Correction::Fdr, Correction::Fwe})
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
    case Correction::Bonferroni:
    case Correction::Fwe:  // without relabellings, the family-wise cut is Bonferroni's
      threshold.p = alpha / m;
      break;
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

bool MapThreshold::passes(double pValue, double tValue) const {
  if (std::isnan(pValue)) return false;
  if (!byStatistic) return pValue <= p;
  return (tail == Tail::Two ? std::abs(tValue) : tValue) > t;
}

MapThreshold thresholdByMaxima(const std::vector<double>& p, const std::vector<float>& t, double df,
                               const std::vector<double>& maxima, bool exhaustive, double alpha, Tail tail) {
  MapThreshold threshold;
  threshold.correction = Correction::Fwe;
  threshold.alpha = alpha;
  threshold.byStatistic = true;
  threshold.tail = tail;
  threshold.relabellings = static_cast<int32_t>(maxima.size());
  threshold.exhaustive = exhaustive;
  // Significant: at most floor(alpha R) of the R maxima reach the statistic, the
  // observed maximum always among them; so at most floor(alpha R) - 1 of the
  // others, which is to exceed the floor(alpha R)-th largest of them.
  const auto allowed = static_cast<int64_t>(std::floor(alpha * static_cast<double>(maxima.size()) + 1e-9));
  std::vector<double> others(maxima.begin() + (maxima.empty() ? 0 : 1), maxima.end());
  std::sort(others.begin(), others.end(), std::greater<>());
  threshold.t = allowed >= 1 && allowed <= static_cast<int64_t>(others.size())
                    ? others[static_cast<std::size_t>(allowed - 1)]
                    : std::numeric_limits<double>::infinity();
  threshold.p = std::isnan(df) ? std::numeric_limits<double>::quiet_NaN() : tPValue(threshold.t, df, tail);
  for (std::size_t v = 0; v < p.size(); ++v) {
    if (std::isnan(p[v])) continue;
    ++threshold.tested;
    if (threshold.passes(p[v], t[v])) ++threshold.significant;
  }
  return threshold;
}

}  // namespace cohortix::host
