#include "host/analysis/first_level_fit.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "host/analysis/ar1_noise.h"
#include "host/analysis/cosine_drift.h"

namespace cohortix::host {
namespace {

// Voxels fitted together: large enough for efficient matrix products, small
// enough that a block of time courses stays in the cache.
constexpr int64_t kBlockVoxels = 512;
// A voxel holds signal when its intercept exceeds this share of the mean.
constexpr double kSignalShare = 1.0 / 8.0;

// The fit in the data's own units, before the baseline is known.
struct RawFit {
  std::vector<float> betas;       // cells only, cell-major
  std::vector<double> intercept;  // per voxel
  std::vector<double> rss;        // residual sum of squares per voxel
  std::vector<double> lagOne;     // sum of r_t r_{t+1} per voxel, when asked for
};

// Centres each voxel's series near its mean (the intercept absorbs the centre,
// which need not be exact, and single precision then keeps the small deviations
// exactly), whitens it when rho is not 0, and stores it as a column of y. Returns
// the centre; *squares gets the sum of squares of the stored column.
double loadVoxel(const float* series, int32_t n, float rho, Eigen::Ref<Eigen::VectorXf> column,
                 Eigen::VectorXf& scratch, double* squares) {
  const Eigen::Map<const Eigen::VectorXf> values(series, n);
  const float centre = values.mean();
  if (rho == 0.0f) {
    column.array() = values.array() - centre;
  } else {
    scratch.array() = values.array() - centre;
    column(0) = std::sqrt(1.0f - rho * rho) * scratch(0);
    column.tail(n - 1) = scratch.tail(n - 1) - rho * scratch.head(n - 1);
  }
  // Eigen's vectorised reduction keeps several partial sums: accurate to about 1e-7.
  *squares = column.squaredNorm();
  return centre;
}

void fitBlock(const LinearModel& model, const SubjectSeries& series, int32_t cells, double rho,
              int64_t first, int64_t count, Eigen::MatrixXf& y, RawFit& raw) {
  const int32_t n = series.volumes;
  const int32_t intercept = cells;
  Eigen::VectorXd means(count);
  Eigen::VectorXd squares(count);
  Eigen::VectorXf scratch(n);
  for (int64_t j = 0; j < count; ++j)
    means(j) = loadVoxel(series.data + (first + j) * n, n, static_cast<float>(rho), y.col(j),
                         scratch, &squares(j));
  const auto block = y.leftCols(count);
  const Eigen::MatrixXd xty = (model.designFloat().transpose() * block).cast<double>();
  const Eigen::MatrixXd b = model.inverseGram() * xty;
  for (int64_t j = 0; j < count; ++j) {
    const int64_t voxel = first + j;
    raw.rss[voxel] = std::max(0.0, squares(j) - b.col(j).dot(xty.col(j)));
    raw.intercept[voxel] = b(intercept, j) + means(j);
    for (int32_t c = 0; c < cells; ++c)
      raw.betas[c * series.voxels + voxel] = static_cast<float>(b(c, j));
  }
  if (raw.lagOne.empty()) return;
  const Eigen::MatrixXf residuals = block - model.designFloat() * b.cast<float>();
  for (int64_t j = 0; j < count; ++j) {
    const auto r = residuals.col(j);
    raw.lagOne[first + j] = r.head(n - 1).dot(r.tail(n - 1));
    raw.rss[first + j] = r.squaredNorm();
  }
}

RawFit fitAll(const LinearModel& model, const SubjectSeries& series, int32_t cells, double rho,
              bool lagOne) {
  RawFit raw;
  const auto voxels = static_cast<std::size_t>(series.voxels);
  raw.betas.resize(static_cast<std::size_t>(cells) * voxels);
  raw.intercept.resize(voxels);
  raw.rss.resize(voxels);
  if (lagOne) raw.lagOne.resize(voxels);
  Eigen::MatrixXf y(series.volumes, std::min(kBlockVoxels, series.voxels));
  for (int64_t first = 0; first < series.voxels; first += kBlockVoxels)
    fitBlock(model, series, cells, rho, first, std::min(kBlockVoxels, series.voxels - first), y,
             raw);
  return raw;
}

std::vector<uint8_t> signalMask(const std::vector<double>& intercept) {
  double sum = 0.0;
  for (double value : intercept) sum += value;
  const double floor = kSignalShare * sum / static_cast<double>(intercept.size());
  std::vector<uint8_t> mask(intercept.size());
  for (std::size_t v = 0; v < intercept.size(); ++v) mask[v] = intercept[v] > floor ? 1 : 0;
  return mask;
}

Result<double> baselineOf(const std::vector<double>& intercept, const std::vector<uint8_t>& mask) {
  double sum = 0.0;
  int64_t count = 0;
  for (std::size_t v = 0; v < intercept.size(); ++v)
    if (mask[v]) sum += intercept[v], ++count;
  const double baseline = count > 0 ? sum / static_cast<double>(count) : 0.0;
  if (!(baseline > 0.0) || !std::isfinite(baseline))
    return Status::error("the data have no positive baseline, so effects in percent of it are "
                         "undefined");
  return baseline;
}

double pooledLagOneCorrelation(const RawFit& raw, const std::vector<uint8_t>& mask) {
  double lagOne = 0.0;
  double squares = 0.0;
  for (std::size_t v = 0; v < mask.size(); ++v)
    if (mask[v]) lagOne += raw.lagOne[v], squares += raw.rss[v];
  return squares > 0.0 ? lagOne / squares : 0.0;
}

float tValue(double beta, double variance) {
  if (variance > 0.0) return static_cast<float>(beta / std::sqrt(variance));
  if (beta == 0.0) return 0.0f;
  return beta > 0.0 ? std::numeric_limits<float>::infinity()
                    : -std::numeric_limits<float>::infinity();
}

FirstLevelFit finish(const RawFit& raw, const LinearModel& model, int32_t cells, double baseline,
                     std::vector<uint8_t> mask) {
  FirstLevelFit fit;
  fit.cells = cells;
  fit.voxels = static_cast<int64_t>(raw.intercept.size());
  fit.baseline = baseline;
  fit.residualDf = model.residualDf();
  fit.mask = std::move(mask);
  const double scale = 100.0 / baseline;
  fit.betaPercent.resize(raw.betas.size());
  fit.t.resize(raw.betas.size());
  fit.residualVariance.resize(raw.intercept.size());
  for (int64_t v = 0; v < fit.voxels; ++v) {
    const double variance = raw.rss[v] / fit.residualDf;
    fit.residualVariance[v] = static_cast<float>(variance * scale * scale);
    for (int32_t c = 0; c < cells; ++c) {
      const std::size_t at = static_cast<std::size_t>(c * fit.voxels + v);
      fit.betaPercent[at] = static_cast<float>(raw.betas[at] * scale);
      fit.t[at] = tValue(raw.betas[at], variance * model.inverseGram()(c, c));
    }
  }
  return fit;
}

std::vector<std::string> columnNames(std::span<const Predictor> predictors, int32_t drifts,
                                     const NuisanceRegressors& nuisance) {
  std::vector<std::string> names;
  for (const Predictor& predictor : predictors) names.push_back("predictor \"" + predictor.name + "\"");
  names.emplace_back("the intercept");
  for (int32_t k = 1; k <= drifts; ++k) names.push_back("drift term " + std::to_string(k));
  names.insert(names.end(), nuisance.names.begin(), nuisance.names.end());
  return names;
}

}  // namespace

Result<LinearModel> firstLevelModel(std::span<const Predictor> predictors, int32_t volumes,
                                    const FirstLevelOptions& options, const NuisanceRegressors& nuisance) {
  const Eigen::MatrixXd drifts =
      cosineDriftBasis(volumes, options.repetitionTime, options.highpassSeconds);
  const auto cells = static_cast<Eigen::Index>(predictors.size());
  if (nuisance.columns() > 0 && nuisance.values.rows() != volumes)
    return Status::error("the nuisance regressors have " + std::to_string(nuisance.values.rows()) +
                         " rows for " + std::to_string(volumes) + " volumes");
  Eigen::MatrixXd design(volumes, cells + 1 + drifts.cols() + nuisance.columns());
  for (Eigen::Index c = 0; c < cells; ++c) {
    const Predictor& predictor = predictors[static_cast<std::size_t>(c)];
    if (static_cast<int64_t>(predictor.values.size()) != volumes)
      return Status::error("predictor \"" + predictor.name + "\" has " +
                           std::to_string(predictor.values.size()) + " values for " +
                           std::to_string(volumes) + " volumes");
    for (int32_t t = 0; t < volumes; ++t) design(t, c) = predictor.values[static_cast<std::size_t>(t)];
  }
  design.col(cells).setOnes();
  design.middleCols(cells + 1, drifts.cols()) = drifts;
  if (nuisance.columns() > 0) design.rightCols(nuisance.columns()) = nuisance.values;
  return LinearModel::of(std::move(design),
                         columnNames(predictors, static_cast<int32_t>(drifts.cols()), nuisance));
}

Result<FirstLevelFit> fitFirstLevel(const SubjectSeries& series,
                                    std::span<const Predictor> predictors,
                                    const FirstLevelOptions& options, const NuisanceRegressors& nuisance) {
  if (series.voxels < 1 || series.data == nullptr)
    return Status::error("the volume time course holds no voxels");
  Result<LinearModel> model = firstLevelModel(predictors, series.volumes, options, nuisance);
  if (!model) return model.status();
  const auto cells = static_cast<int32_t>(predictors.size());
  const int32_t drifts = cosineDriftCount(series.volumes, options.repetitionTime,
                                          options.highpassSeconds);
  RawFit raw = fitAll(model.value(), series, cells, 0.0, options.ar1);
  std::vector<uint8_t> mask = signalMask(raw.intercept);
  if (!options.ar1) {
    Result<double> baseline = baselineOf(raw.intercept, mask);
    if (!baseline) return baseline.status();
    FirstLevelFit fit = finish(raw, model.value(), cells, baseline.value(), std::move(mask));
    fit.driftRegressors = drifts;
    fit.nuisanceRegressors = nuisance.columns();
    return fit;
  }
  // The data are whitened in single precision; the design takes the same rho.
  const double rho = static_cast<float>(
      ar1FromResidualAutocorrelation(model.value(), pooledLagOneCorrelation(raw, mask)));
  Result<LinearModel> whitened =
      LinearModel::of(ar1Whiten(model->design(), rho), columnNames(predictors, drifts, nuisance));
  if (!whitened) return whitened.status();
  raw = fitAll(whitened.value(), series, cells, rho, false);
  Result<double> baseline = baselineOf(raw.intercept, mask);
  if (!baseline) return baseline.status();
  FirstLevelFit fit = finish(raw, whitened.value(), cells, baseline.value(), std::move(mask));
  fit.ar1 = rho;
  fit.driftRegressors = drifts;
  fit.nuisanceRegressors = nuisance.columns();
  return fit;
}

}  // namespace cohortix::host
