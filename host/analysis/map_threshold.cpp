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

// The largest value among the relabellings other than the observed one (maxima[0])
// that an observed statistic must exceed for at most floor(alpha R) of the R
// maxima to reach it, the observed one always among them: the floor(alpha R)-th
// largest of the others. Infinite when floor(alpha R) is 0.
double maximumToExceed(const std::vector<double>& maxima, double alpha) {
  const auto allowed = static_cast<int64_t>(std::floor(alpha * static_cast<double>(maxima.size()) + 1e-9));
  std::vector<double> others(maxima.begin() + (maxima.empty() ? 0 : 1), maxima.end());
  std::sort(others.begin(), others.end(), std::greater<>());
  return allowed >= 1 && allowed <= static_cast<int64_t>(others.size()) ? others[static_cast<std::size_t>(allowed - 1)]
                                                                         : std::numeric_limits<double>::infinity();
}

}  // namespace

std::string correctionName(Correction correction) {
  switch (correction) {
    case Correction::None: return "none";
    case Correction::Bonferroni: return "bonferroni";
    case Correction::Fdr: return "fdr";
    case Correction::Fwe: return "fwe";
    case Correction::Cluster: return "cluster";
  }
  return "none";
}

std::optional<Correction> correctionNamed(std::string_view name) {
  for (Correction c : {Correction::None, Correction::Bonferroni, Correction::Fdr, Correction::Fwe, Correction::Cluster})
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
    case Correction::Cluster:
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

bool byPermutation(Correction correction) {
  return correction == Correction::Fwe || correction == Correction::Cluster;
}

bool MapThreshold::passes(std::size_t v, double pValue, double tValue) const {
  if (std::isnan(pValue)) return false;
  if (correction == Correction::Cluster) return v < members.size() && members[v] != 0;
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
  threshold.t = maximumToExceed(maxima, alpha);
  threshold.p = std::isnan(df) ? std::numeric_limits<double>::quiet_NaN() : tPValue(threshold.t, df, tail);
  std::vector<double> others(maxima.begin() + (maxima.empty() ? 0 : 1), maxima.end());
  std::sort(others.begin(), others.end());
  threshold.correctedP.assign(p.size(), 1.0f);
  for (std::size_t v = 0; v < p.size(); ++v) {
    if (std::isnan(p[v])) continue;
    ++threshold.tested;
    if (threshold.passes(v, p[v], t[v])) ++threshold.significant;
    const double statistic = tail == Tail::Two ? std::abs(t[v]) : t[v];
    const auto reaching = others.end() - std::lower_bound(others.begin(), others.end(), statistic);
    threshold.correctedP[v] = static_cast<float>(static_cast<double>(1 + reaching) / static_cast<double>(maxima.size()));
  }
  return threshold;
}

MapThreshold thresholdByClusters(const std::vector<double>& p, const std::vector<float>& t,
                                 const std::vector<double>& maxima, bool exhaustive, double alpha, Tail tail,
                                 double formingP, const ClusterSettings& settings) {
  MapThreshold threshold;
  threshold.correction = Correction::Cluster;
  threshold.alpha = alpha;
  threshold.tail = tail;
  threshold.relabellings = static_cast<int32_t>(maxima.size());
  threshold.exhaustive = exhaustive;
  threshold.connectivity = settings.connectivity;
  threshold.t = settings.formingT;
  threshold.p = formingP;
  const double critical = maximumToExceed(maxima, alpha);
  threshold.criticalVoxels = std::isinf(critical) ? std::numeric_limits<int64_t>::max()
                                                  : static_cast<int64_t>(critical);
  std::vector<int8_t> sides(p.size(), 0);
  for (std::size_t v = 0; v < p.size(); ++v) {
    if (std::isnan(p[v])) continue;
    ++threshold.tested;
    sides[v] = clusterSide(t[v], settings.formingT, tail);
  }
  ClusterFinder finder(settings.grid, settings.connectivity);
  std::vector<int64_t> sizes;
  const std::vector<int32_t>& labels = finder.label(sides, sizes);
  threshold.clusters.resize(sizes.size());
  for (std::size_t c = 0; c < sizes.size(); ++c) {
    MapCluster& cluster = threshold.clusters[c];
    cluster.voxels = sizes[c];
    cluster.significant = static_cast<double>(sizes[c]) > critical;
    const auto atLeast = std::count_if(maxima.begin() + 1, maxima.end(),
                                       [&](double size) { return size >= static_cast<double>(sizes[c]); });
    cluster.pFamilyWise = static_cast<double>(1 + atLeast) / static_cast<double>(maxima.size());
  }
  threshold.members.assign(p.size(), 0);
  threshold.correctedP.assign(p.size(), 1.0f);
  for (std::size_t v = 0; v < p.size(); ++v) {
    if (labels[v] == 0) continue;
    MapCluster& cluster = threshold.clusters[static_cast<std::size_t>(labels[v] - 1)];
    threshold.correctedP[v] = static_cast<float>(cluster.pFamilyWise);
    if (std::abs(t[v]) > std::abs(cluster.peakT) || cluster.peakT == 0.0) {
      cluster.peakT = t[v];
      cluster.peakVoxel = static_cast<int64_t>(v);
      cluster.side = sides[v];
    }
    if (cluster.significant) {
      threshold.members[v] = 1;
      ++threshold.significant;
    }
  }
  std::stable_sort(threshold.clusters.begin(), threshold.clusters.end(),
                   [](const MapCluster& a, const MapCluster& b) { return a.voxels > b.voxels; });
  return threshold;
}

}  // namespace cohortix::host
