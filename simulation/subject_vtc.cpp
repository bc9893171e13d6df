// The plug-in's step for one subject: the subject's model run on the process-wide
// random state, with the predictors of the host's current design matrix, into the
// host's VTC.

#include <optional>

#include "simulation/host_function_table.h"
#include "simulation/random/random_state.h"
#include "simulation/run_failure.h"
#include "simulation/run_texts.h"
#include "simulation/simulated_vtc.h"
#include "simulation/subject_model.h"
#include "simulation/subject_report.h"

namespace cohortix {
namespace {

// Predictor p's time course as the host hands it out, asked for each time the
// model needs it.
class HostPredictors final : public PredictorSource {
 public:
  const float* predictorTimeCourse(int32_t p) override {
    return hostFunctions().ktGetPredictor(p);
  }
};

}  // namespace

bool simulateSubjectVTC(const SimulatedVTC& vtc, const SimulationDesign& design, int32_t g,
                        int32_t s, int32_t NrOfPredictors, float* response,
                        int32_t& RandomSeed) {
  HostPredictors predictors;
  // Told only to a host that asked: the draws and the data are the same either way.
  const CohortixSubjectReport* report = subjectReport();
  std::optional<ReportingObserver> reporting;
  if (report != nullptr) reporting.emplace(*report, g, s);
  if (modelSubjectVTC(design, g, s, NrOfPredictors, predictors, geometryOf(vtc), vtc.Data,
                      response, processRandomState(), RandomSeed,
                      reporting ? &*reporting : nullptr))
    return true;
  stopBusyAndShow(texts::kPredictorAccess);
  return false;
}

}  // namespace cohortix
