#pragma once
// Grey matter, white matter and CSF from a brain-extracted T1-weighted image's
// intensities: a mixture of three Gaussians fitted by expectation-maximisation to
// the histogram of the brain's voxels (CSF darkest, white matter brightest in T1),
// whose posterior probabilities give every intensity its tissue mixture.

#include <array>
#include <span>
#include <vector>

namespace cohortix::host::anatomy {

enum Tissue { kCsf = 0, kGrey = 1, kWhite = 2 };

struct TissueClasses {
  std::array<double, 3> mean{}, sd{}, weight{};
  // Probability of each tissue at an intensity: 3 per histogram bin, bins of width
  // `binWidth` from 0.
  std::vector<std::array<float, 3>> posterior;
  double binWidth = 1.0;

  std::array<float, 3> at(double intensity) const;
};

// `intensities`: the brain's voxels (those above 0).
TissueClasses fitTissueClasses(std::span<const float> intensities);

}  // namespace cohortix::host::anatomy
