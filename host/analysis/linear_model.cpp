#include "host/analysis/linear_model.h"

namespace cohortix::host {
namespace {

// Columns are compared at unit length, so a predictor of small values is not
// mistaken for a dependent one; below this relative size a pivot counts as zero.
constexpr double kRankTolerance = 1e-9;

Status fullRank(const Eigen::MatrixXd& design, const std::vector<std::string>& names) {
  for (Eigen::Index c = 0; c < design.cols(); ++c)
    if (design.col(c).norm() == 0.0)
      return Status::error(names.at(static_cast<std::size_t>(c)) +
                           " is zero at every volume, so its effect cannot be estimated");
  Eigen::MatrixXd unit = design;
  unit.colwise().normalize();
  Eigen::ColPivHouseholderQR<Eigen::MatrixXd> qr(unit);
  qr.setThreshold(kRankTolerance);
  if (qr.rank() < design.cols())
    return Status::error("the regressors are linearly dependent: a predictor is a combination "
                         "of the others, the intercept and the drift terms");
  return Status::ok();
}

}  // namespace

Result<LinearModel> LinearModel::of(Eigen::MatrixXd design,
                                    const std::vector<std::string>& columnNames) {
  if (design.rows() <= design.cols())
    return Status::error("the model has " + std::to_string(design.cols()) + " regressors for " +
                         std::to_string(design.rows()) +
                         " volumes and no degrees of freedom left for the noise");
  if (Status status = fullRank(design, columnNames); !status) return status;
  LinearModel model;
  const Eigen::Index p = design.cols();
  const Eigen::HouseholderQR<Eigen::MatrixXd> qr(design);
  const Eigen::MatrixXd r = qr.matrixQR().topRows(p).triangularView<Eigen::Upper>();
  const Eigen::MatrixXd rInverse =
      r.triangularView<Eigen::Upper>().solve(Eigen::MatrixXd::Identity(p, p));
  model.inverseGram_ = rInverse * rInverse.transpose();
  model.designFloat_ = design.cast<float>();
  model.design_ = std::move(design);
  return model;
}

}  // namespace cohortix::host
