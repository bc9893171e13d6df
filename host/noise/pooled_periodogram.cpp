#include "host/noise/pooled_periodogram.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace cohortix::host::noise {
namespace {

constexpr double kPeakOverFloor = 3.0;
constexpr double kFloorHalfWidthBins = 12.0;  // in bins of 1 / (n TR)
constexpr double kLobeHalfWidthBins = 3.0;

int powerOfTwoAtLeast(int n) {
  int length = 1;
  while (length < n) length *= 2;
  return length;
}


// The noise under a candidate peak: a quadratic in log power fitted to the
// spectrum on both sides of its main lobe (a straight line when one side is too
// short, near the ends), refitted once without the bins that stand out (other
// peaks). The noise spectrum is smooth but not flat: an AR spectrum near its low
// end is steep and curved.
class Floor {
 public:
  Floor(const std::vector<double>& power, int k, int lobe, int reach, int lowest, int last) : centre_(k) {
    std::vector<int> bins;
    int left = 0, right = 0;
    for (int j = std::max(lowest, k - reach); j <= std::min(last, k + reach); ++j) {
      if (std::abs(j - k) <= lobe || !(power[j] > 0.0)) continue;
      bins.push_back(j);
      (j < k ? left : right) += 1;
    }
    degree_ = left >= 3 && right >= 3 ? 2 : 1;
    fit(power, bins);
    std::vector<int> kept;
    for (const int j : bins)
      if (std::log(power[j]) - logAt(j) < std::log(2.0)) kept.push_back(j);
    if (kept.size() >= 4 && kept.size() < bins.size()) fit(power, kept);
  }
  double at(int j) const { return std::exp(logAt(j)); }

 private:
  double logAt(int j) const {
    const double x = j - centre_;
    return coefficients_[0] + coefficients_[1] * x + coefficients_[2] * x * x;
  }
  // Least squares by the normal equations, solved by Gaussian elimination.
  void fit(const std::vector<double>& power, const std::vector<int>& bins) {
    const int terms = degree_ + 1;
    double a[3][4] = {};
    for (const int j : bins) {
      const double x = j - centre_, y = std::log(power[j]);
      const double basis[3] = {1.0, x, x * x};
      for (int r = 0; r < terms; ++r) {
        for (int c = 0; c < terms; ++c) a[r][c] += basis[r] * basis[c];
        a[r][3] += basis[r] * y;
      }
    }
    coefficients_[0] = coefficients_[1] = coefficients_[2] = 0.0;
    if (static_cast<int>(bins.size()) < terms) {
      coefficients_[0] = -745.0;  // no noise to speak of
      return;
    }
    for (int c = 0; c < terms; ++c)
      for (int r = c + 1; r < terms; ++r) {
        const double factor = a[r][c] / a[c][c];
        for (int i = c; i < 4; ++i) a[r][i] -= factor * a[c][i];
      }
    for (int r = terms - 1; r >= 0; --r) {
      double value = a[r][3];
      for (int c = r + 1; c < terms; ++c) value -= a[r][c] * coefficients_[c];
      coefficients_[r] = value / a[r][r];
    }
  }

  int centre_;
  int degree_ = 2;
  double coefficients_[3] = {0.0, 0.0, 0.0};
};

}  // namespace

PooledSpectrum::PooledSpectrum(int volumes)
    : volumes_(volumes), length_(powerOfTwoAtLeast(std::max(volumes, 2))) {
  window_.resize(volumes);
  for (int t = 0; t < volumes; ++t) {
    const double s = std::sin(std::numbers::pi * (t + 0.5) / volumes);
    window_[t] = s * s;
    windowSquares_ += window_[t] * window_[t];
  }
  twiddles_.resize(length_ / 2);
  for (int k = 0; k < length_ / 2; ++k)
    twiddles_[k] = std::polar(1.0, -2.0 * std::numbers::pi * k / length_);
  reversed_.resize(length_);
  int bits = 0;
  while ((1 << bits) < length_) ++bits;
  for (int i = 0; i < length_; ++i) {
    int r = 0;
    for (int b = 0; b < bits; ++b) r |= ((i >> b) & 1) << (bits - 1 - b);
    reversed_[i] = r;
  }
  buffer_.assign(length_, 0.0);
  power_.assign(length_ / 2 + 1, 0.0);
}

// Two real series share one complex transform: with z = a + i b,
// |A_k|^2 + |B_k|^2 = (|Z_k|^2 + |Z_{N-k}|^2) / 2, which is all the pooled power needs.
void PooledSpectrum::add(const float* residuals) {
  for (int t = 0; t < volumes_; ++t) {
    const double value = residuals[t] * window_[t];
    if (halfFull_)
      buffer_[t].imag(value);
    else
      buffer_[t] = value;
  }
  ++voxels_;
  if (halfFull_) transformPending();
  halfFull_ = !halfFull_;
}

void PooledSpectrum::transformPending() {
  std::vector<std::complex<double>> data(length_);
  for (int i = 0; i < length_; ++i) data[reversed_[i]] = buffer_[i];
  for (int size = 2; size <= length_; size *= 2) {
    const int half = size / 2, step = length_ / size;
    for (int start = 0; start < length_; start += size)
      for (int j = 0; j < half; ++j) {
        const std::complex<double> odd = twiddles_[j * step] * data[start + j + half];
        data[start + j + half] = data[start + j] - odd;
        data[start + j] += odd;
      }
  }
  for (int k = 0; k <= length_ / 2; ++k)
    power_[k] += 0.5 * (std::norm(data[k]) + std::norm(data[(length_ - k) % length_]));
  std::fill(buffer_.begin(), buffer_.end(), 0.0);
}

std::vector<double> PooledSpectrum::meanPower() const {
  std::vector<double> mean = power_;
  if (halfFull_) {  // the last voxel alone
    PooledSpectrum copy = *this;
    copy.transformPending();
    mean = copy.power_;
  }
  for (double& value : mean) value /= std::max<long>(voxels_, 1);
  return mean;
}

std::vector<PeriodicComponent> PooledSpectrum::peaks(double repetitionTime, double lowestHz,
                                                     double residualVariance) const {
  const std::vector<double> power = meanPower();
  const int last = length_ / 2;
  const double binsPerBin = static_cast<double>(length_) / volumes_;
  const int lobe = static_cast<int>(std::ceil(kLobeHalfWidthBins * binsPerBin));
  const int reach = static_cast<int>(std::ceil(kFloorHalfWidthBins * binsPerBin)) + lobe;
  const int lowest = static_cast<int>(std::ceil(lowestHz * length_ * repetitionTime)) + lobe;
  std::vector<PeriodicComponent> found;
  for (int k = lowest; k <= last; ++k) {
    bool highest = true;
    for (int j = std::max(lowest, k - lobe); j <= std::min(last, k + lobe) && highest; ++j)
      highest = power[j] < power[k] || (power[j] == power[k] && j >= k);
    if (!highest) continue;
    const Floor floor(power, k, lobe, reach, lowest, last);
    if (!(power[k] > kPeakOverFloor * floor.at(k))) continue;
    double excess = 0.0, weight = 0.0, moment = 0.0;
    for (int j = std::max(lowest, k - lobe); j <= std::min(last, k + lobe); ++j) {
      const double above = power[j] - floor.at(j);
      excess += above;
      weight += std::max(0.0, above);
      moment += std::max(0.0, above) * j;
    }
    if (!(excess > 0.0)) continue;
    PeriodicComponent component;
    component.frequencyHz = moment / weight / (length_ * repetitionTime);
    component.amplitudePercent = std::sqrt(4.0 * excess / (length_ * windowSquares_));
    component.share = residualVariance > 0.0
                          ? component.amplitudePercent * component.amplitudePercent / 2.0 / residualVariance
                          : 0.0;
    found.push_back(component);
  }
  std::sort(found.begin(), found.end(), [](const PeriodicComponent& a, const PeriodicComponent& b) {
    return a.amplitudePercent > b.amplitudePercent;
  });
  if (found.size() > static_cast<std::size_t>(kMaxPeriodicComponents)) found.resize(kMaxPeriodicComponents);
  return found;
}

}  // namespace cohortix::host::noise
