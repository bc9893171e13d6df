#pragma once
// The host's two-gamma haemodynamic response: the canonical double gamma (a gamma
// density of shape 6 for the response, peaking at 5 s, less one sixth of a gamma
// density of shape 16 for the undershoot, lowest near 15.75 s), over 32 s, sampled
// once per volume. The kernel is normalised to a sum of 1, so a block long enough
// to outlast the kernel reaches a plateau of exactly 1.0 and an effect value reads
// as percent signal change at the plateau.

#include <vector>

namespace cohortix::host {

inline constexpr double kHRFLengthSeconds = 32.0;
// Above this the samples miss the response and the sampled kernel can sum to zero
// or less; the command line refuses such repetition times.
inline constexpr double kMaxRepetitionTime = 10.0;
// Below this the kernel grows past 641 samples per 32 s and every convolution with
// it slows accordingly, for no response a scanner could resolve; the command line
// refuses such repetition times.
inline constexpr double kMinRepetitionTime = 0.05;
// The repetition time of a run that names none, in seconds.
inline constexpr double kDefaultRepetitionTime = 2.0;

// The continuous response at t seconds (unnormalised).
double twoGammaResponse(double seconds);

// The kernel sampled at 0, TR, 2 TR, ... up to 32 s, summing to 1. Where the
// samples sum to zero or less (a repetition time far beyond kMaxRepetitionTime)
// the kernel is the single sample 1, which leaves a predictor as it is.
std::vector<double> twoGammaKernel(double repetitionTime);

// The kernel of a slice acquired `offset` seconds after its volume's start: the
// response sampled at offset, TR + offset, 2 TR + offset, ... up to 32 s, summing
// to 1 (at offset 0 the kernel above).
std::vector<double> twoGammaKernelAt(double repetitionTime, double offset);

// values[i] = sum over j of kernel[j] * values[i - j]: causal, the response to a
// volume starts at that volume. Sums in double, stored as float.
void convolveInPlace(std::vector<float>& values, const std::vector<double>& kernel);

}  // namespace cohortix::host
