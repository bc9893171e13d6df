#include "host/analysis/group_tests.h"

#include <cmath>
#include <limits>

namespace cohortix::host {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

StatisticMap emptyMap(std::size_t voxels) {
  StatisticMap map;
  map.t.assign(voxels, 0.0f);
  map.effect.assign(voxels, 0.0f);
  map.p.assign(voxels, kNaN);
  return map;
}

// A difference with no spread at all is infinitely significant unless it is 0.
double ratio(double difference, double standardError) {
  if (standardError > 0.0) return difference / standardError;
  if (difference == 0.0) return 0.0;
  return difference > 0.0 ? std::numeric_limits<double>::infinity()
                          : -std::numeric_limits<double>::infinity();
}

}  // namespace

StatisticMap oneSampleT(const EffectMoments& moments, const std::vector<uint8_t>& mask, Tail tail) {
  StatisticMap map = emptyMap(mask.size());
  const double n = moments.subjects;
  map.df = n - 1.0;
  for (std::size_t v = 0; v < mask.size(); ++v) {
    if (!mask[v]) continue;
    const double variance = moments.squaredDeviations[v] / (n - 1.0);
    const double t = ratio(moments.mean[v], std::sqrt(variance / n));
    map.t[v] = static_cast<float>(t);
    map.effect[v] = static_cast<float>(moments.mean[v]);
    map.p[v] = tPValue(t, map.df, tail);
  }
  return map;
}

StatisticMap welchT(const EffectMoments& first, const EffectMoments& second,
                    const std::vector<uint8_t>& mask, Tail tail) {
  StatisticMap map = emptyMap(mask.size());
  map.df = kNaN;
  const double n1 = first.subjects;
  const double n2 = second.subjects;
  for (std::size_t v = 0; v < mask.size(); ++v) {
    if (!mask[v]) continue;
    const double a = first.squaredDeviations[v] / (n1 - 1.0) / n1;
    const double b = second.squaredDeviations[v] / (n2 - 1.0) / n2;
    const double difference = first.mean[v] - second.mean[v];
    const double t = ratio(difference, std::sqrt(a + b));
    // Without any spread the Welch formula is 0/0; the pooled test's count is the limit
    // of neither, but any finite df gives an infinite t a p of 0.
    const double df = a + b > 0.0 ? (a + b) * (a + b) / (a * a / (n1 - 1.0) + b * b / (n2 - 1.0))
                                  : n1 + n2 - 2.0;
    map.t[v] = static_cast<float>(t);
    map.effect[v] = static_cast<float>(difference);
    map.p[v] = tPValue(t, df, tail);
  }
  return map;
}

}  // namespace cohortix::host
