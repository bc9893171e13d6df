#include "host/anatomy/tissue_classes.h"

#include <algorithm>
#include <cmath>

namespace cohortix::host::anatomy {
namespace {

constexpr int kBins = 512;
constexpr int kIterations = 60;

double density(double x, double mean, double sd) {
  const double z = (x - mean) / sd;
  return std::exp(-0.5 * z * z) / sd;
}

double quantile(const std::vector<double>& counts, double total, double share, double binWidth) {
  double seen = 0.0;
  for (std::size_t b = 0; b < counts.size(); ++b) {
    seen += counts[b];
    if (seen >= share * total) return (static_cast<double>(b) + 0.5) * binWidth;
  }
  return static_cast<double>(counts.size()) * binWidth;
}

}  // namespace

std::array<float, 3> TissueClasses::at(double intensity) const {
  if (posterior.empty()) return {0.0f, 0.0f, 0.0f};
  const double position = std::clamp(intensity / binWidth - 0.5, 0.0, static_cast<double>(posterior.size() - 1));
  const auto low = static_cast<std::size_t>(position);
  const std::size_t high = std::min(low + 1, posterior.size() - 1);
  const auto f = static_cast<float>(position - static_cast<double>(low));
  std::array<float, 3> p{};
  for (int c = 0; c < 3; ++c) p[c] = (1.0f - f) * posterior[low][c] + f * posterior[high][c];
  return p;
}

TissueClasses fitTissueClasses(std::span<const float> intensities) {
  TissueClasses classes;
  float top = 0.0f;
  for (float v : intensities) top = std::max(top, v);
  classes.binWidth = top > 0.0f ? static_cast<double>(top) / kBins * 1.0001 : 1.0;
  std::vector<double> counts(kBins, 0.0);
  double total = 0.0;
  for (float v : intensities) {
    if (!(v > 0.0f)) continue;
    counts[std::min<std::size_t>(static_cast<std::size_t>(v / classes.binWidth), kBins - 1)] += 1.0;
    total += 1.0;
  }
  if (total == 0.0) return classes;
  // Starting points: the darker tail, the middle and the brighter tail.
  const double shares[3] = {0.1, 0.45, 0.85};
  for (int c = 0; c < 3; ++c) {
    classes.mean[c] = quantile(counts, total, shares[c], classes.binWidth);
    classes.sd[c] = std::max(top / 12.0, classes.binWidth);
    classes.weight[c] = 1.0 / 3.0;
  }
  std::vector<std::array<double, 3>> responsibility(kBins);
  for (int iteration = 0; iteration < kIterations; ++iteration) {
    for (int b = 0; b < kBins; ++b) {
      const double x = (b + 0.5) * classes.binWidth;
      double sum = 0.0;
      for (int c = 0; c < 3; ++c)
        sum += responsibility[b][c] = classes.weight[c] * density(x, classes.mean[c], classes.sd[c]);
      for (int c = 0; c < 3; ++c) responsibility[b][c] = sum > 0.0 ? responsibility[b][c] / sum : 0.0;
    }
    for (int c = 0; c < 3; ++c) {
      double n = 0.0, sx = 0.0, sxx = 0.0;
      for (int b = 0; b < kBins; ++b) {
        const double x = (b + 0.5) * classes.binWidth, w = counts[b] * responsibility[b][c];
        n += w, sx += w * x, sxx += w * x * x;
      }
      if (n <= 0.0) continue;
      classes.mean[c] = sx / n;
      classes.sd[c] = std::max(std::sqrt(std::max(sxx / n - classes.mean[c] * classes.mean[c], 0.0)),
                               classes.binWidth);
      classes.weight[c] = n / total;
    }
  }
  // CSF darkest, white matter brightest.
  std::array<int, 3> order{0, 1, 2};
  std::sort(order.begin(), order.end(), [&](int a, int b) { return classes.mean[a] < classes.mean[b]; });
  classes.posterior.resize(kBins);
  for (int b = 0; b < kBins; ++b)
    for (int c = 0; c < 3; ++c)
      classes.posterior[b][c] = static_cast<float>(responsibility[b][order[c]]);
  const TissueClasses unsorted = classes;
  for (int c = 0; c < 3; ++c) {
    classes.mean[c] = unsorted.mean[order[c]];
    classes.sd[c] = unsorted.sd[order[c]];
    classes.weight[c] = unsorted.weight[order[c]];
  }
  return classes;
}

}  // namespace cohortix::host::anatomy
