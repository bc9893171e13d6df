#pragma once
// A design matrix factored once for all voxels: X (n x p, full column rank), its
// inverse Gram matrix (X'X)^-1 from a QR factorisation, and X in single
// precision for the voxel-block products. Fitting then costs one matrix product
// per block of voxels whatever p is.

#include <Eigen/Dense>
#include <cstdint>
#include <string>
#include <vector>

#include "host/io/status.h"

namespace cohortix::host {

class LinearModel {
 public:
  // Refuses a design with no residual degrees of freedom or whose columns are
  // linearly dependent; columnNames name them in the message.
  static Result<LinearModel> of(Eigen::MatrixXd design, const std::vector<std::string>& columnNames);

  const Eigen::MatrixXd& design() const { return design_; }
  const Eigen::MatrixXf& designFloat() const { return designFloat_; }
  // (X'X)^-1.
  const Eigen::MatrixXd& inverseGram() const { return inverseGram_; }
  int32_t volumes() const { return static_cast<int32_t>(design_.rows()); }
  int32_t columns() const { return static_cast<int32_t>(design_.cols()); }
  int32_t residualDf() const { return volumes() - columns(); }

 private:
  LinearModel() = default;
  Eigen::MatrixXd design_;
  Eigen::MatrixXf designFloat_;
  Eigen::MatrixXd inverseGram_;
};

}  // namespace cohortix::host
