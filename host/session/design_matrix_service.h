#pragma once
// The host's single-study design matrix, as the plug-in reaches it through the
// predictor functions.

#include <vector>

#include "abi/host_records.h"
#include "host/io/status.h"
#include "host/session/service_context.h"

namespace cohortix::host {

class ProtocolService;

class DesignMatrixService {
 public:
  DesignMatrixService(ServiceContext& context, const ProtocolService& protocols);
  virtual ~DesignMatrixService() = default;

  const DesignMatrix& current() const { return context_.documents.designMatrix; }

  bool clear();
  bool addPredictor(const ConditionRecord* record);
  bool setValuesFromCondition(const ConditionRecord* record, int condition, float value);
  bool applyTwoGammaHRF(int predictor);
  // The predictor's time course, which stays where it is until the matrix is cleared.
  virtual float* predictor(int predictor);
  bool save(const char* fileName);

 private:
  Status predictorExists(const char* call, int predictor) const;
  DesignMatrix& matrix() { return context_.documents.designMatrix; }
  int length() const;

  ServiceContext& context_;
  const ProtocolService& protocols_;
  std::vector<double> hrfKernel_;
};

}  // namespace cohortix::host
