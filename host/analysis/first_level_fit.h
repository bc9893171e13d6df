#pragma once
// The first-level model of one subject, fitted to every voxel at once: ordinary
// least squares with one regressor per cell (the subject's predictors), an
// intercept, the cosine drifts of the high-pass filter and any nuisance regressors
// (such as head motion's parameters), optionally on data and
// design prewhitened for AR(1) noise (rho pooled over the voxels, from the
// residuals of a first OLS fit, bias-corrected; see ar1_noise.h).
//
// Betas are in percent of the subject's baseline: the mean intercept (the signal
// level with every predictor at 0) over the voxels that hold signal, those whose
// intercept exceeds an eighth of the mean intercept of all voxels. The analysis
// works from memory: the data of a subject are any buffer in the VTC's layout.

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "host/analysis/linear_model.h"
#include "host/documents/design_matrix.h"
#include "host/io/status.h"

namespace cohortix::host {

// One subject's volume time course: voxel-major, time fastest (the VTC's layout).
struct SubjectSeries {
  const float* data = nullptr;
  int64_t voxels = 0;
  int32_t volumes = 0;
};

struct FirstLevelOptions {
  double repetitionTime = 2.0;    // seconds, for the high-pass filter
  double highpassSeconds = 128.0;  // cutoff period; 0: no high-pass filter
  bool ar1 = false;                // prewhiten for AR(1) noise
};

// Columns of the design that model no effect (head motion), one value per
// volume each, named for messages.
struct NuisanceRegressors {
  Eigen::MatrixXd values;  // volumes x columns
  std::vector<std::string> names;
  int32_t columns() const { return static_cast<int32_t>(values.cols()); }
};

struct FirstLevelFit {
  int32_t cells = 0;
  int64_t voxels = 0;
  std::vector<float> betaPercent;       // cell c, voxel v at c * voxels + v
  std::vector<float> t;                 // the same layout
  std::vector<float> residualVariance;  // per voxel, in percent^2 (whitened: innovation)
  std::vector<uint8_t> mask;            // 1 for the voxels that hold signal
  double baseline = 0.0;                // the signal level the percentages refer to
  double ar1 = 0.0;                     // rho the model was whitened with (0: not)
  int32_t residualDf = 0;
  int32_t driftRegressors = 0;
  int32_t nuisanceRegressors = 0;

  float beta(int32_t cell, int64_t voxel) const {
    return betaPercent[static_cast<std::size_t>(cell * voxels + voxel)];
  }
};

// The regressors: the predictors (one per cell, each `volumes` values), then the
// intercept, then the cosine drifts, then the nuisance regressors.
Result<LinearModel> firstLevelModel(std::span<const Predictor> predictors, int32_t volumes,
                                    const FirstLevelOptions& options,
                                    const NuisanceRegressors& nuisance = {});

Result<FirstLevelFit> fitFirstLevel(const SubjectSeries& series,
                                    std::span<const Predictor> predictors,
                                    const FirstLevelOptions& options,
                                    const NuisanceRegressors& nuisance = {});

}  // namespace cohortix::host
