#include "host/documents/two_gamma_hrf.h"

#include <algorithm>
#include <cmath>

namespace cohortix::host {
namespace {

constexpr double kResponseShape = 6.0;
constexpr double kUndershootShape = 16.0;
constexpr double kUndershootRatio = 1.0 / 6.0;

// Gamma density of the given shape with scale 1 s.
double gammaDensity(double seconds, double shape) {
  if (seconds <= 0.0) return 0.0;
  return std::exp((shape - 1.0) * std::log(seconds) - seconds - std::lgamma(shape));
}

}  // namespace

double twoGammaResponse(double seconds) {
  return gammaDensity(seconds, kResponseShape) -
         kUndershootRatio * gammaDensity(seconds, kUndershootShape);
}

std::vector<double> twoGammaKernel(double repetitionTime) {
  std::vector<double> kernel;
  double sum = 0.0;
  for (int j = 0; j * repetitionTime <= kHRFLengthSeconds; ++j) {
    kernel.push_back(twoGammaResponse(j * repetitionTime));
    sum += kernel.back();
  }
  if (!(sum > 0.0)) return {1.0};
  for (double& sample : kernel) sample /= sum;
  return kernel;
}

std::vector<double> twoGammaKernelAt(double repetitionTime, double offset) {
  std::vector<double> kernel;
  double sum = 0.0;
  for (int j = 0; j * repetitionTime + offset <= kHRFLengthSeconds; ++j) {
    kernel.push_back(twoGammaResponse(j * repetitionTime + offset));
    sum += kernel.back();
  }
  if (!(sum > 0.0)) return {1.0};
  for (double& sample : kernel) sample /= sum;
  return kernel;
}

void convolveInPlace(std::vector<float>& values, const std::vector<double>& kernel) {
  const std::vector<float> input = values;
  for (std::size_t i = 0; i < input.size(); ++i) {
    const std::size_t taps = std::min(i + 1, kernel.size());
    double sum = 0.0;
    for (std::size_t j = 0; j < taps; ++j) sum += kernel[j] * input[i - j];
    values[i] = static_cast<float>(sum);
  }
}

}  // namespace cohortix::host
