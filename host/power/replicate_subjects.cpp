#include "host/power/replicate_subjects.h"

#include <stdlib.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "abi/host_records.h"
#include "control/cell_index.h"
#include "control/condition_names.h"
#include "control/output_names.h"
#include "control/vtc_geometry.h"
#include "host/documents/two_gamma_hrf.h"
#include "host/power/replicate_stream.h"
#include "host/session/component_recorder.h"
#include "simulation/subject_model.h"

namespace cohortix::host {
namespace {

// The C library's rand() as a fresh process starts it (seed 1), kept apart from
// the process's own stream.
class FreshRand {
 public:
  FreshRand() {
    std::memset(&data_, 0, sizeof data_);
    initstate_r(1, state_, sizeof state_, &data_);
  }
  FreshRand(const FreshRand&) = delete;
  FreshRand& operator=(const FreshRand&) = delete;
  int32_t operator()() {
    int32_t value = 0;
    random_r(&data_, &value);
    return value;
  }

 private:
  char state_[128];  // the size of the library's default state
  random_data data_;
};

// A condition's name as the plug-in's record carries it to the host.
std::string recordName(const std::string& name) {
  return name.substr(0, std::min<std::size_t>(name.size(), sizeof(ConditionRecord{}.ConditionName) - 1));
}

class MatrixPredictors final : public PredictorSource {
 public:
  explicit MatrixPredictors(const DesignMatrix& matrix) : matrix_(matrix) {}
  const float* predictorTimeCourse(int32_t p) override {
    if (p < 0 || static_cast<std::size_t>(p) >= matrix_.predictors.size()) return nullptr;
    return matrix_.predictors[static_cast<std::size_t>(p)].values.data();
  }

 private:
  const DesignMatrix& matrix_;
};

}  // namespace

std::vector<int32_t> trialOrderOf(const SimulationDesign& design, const std::function<int32_t()>& draw) {
  const int32_t n = std::max(design.NrOfTrials, 0);
  std::vector<int32_t> order(static_cast<std::size_t>(n));
  for (int32_t i = 0; i < n; ++i) order[static_cast<std::size_t>(i)] = i;
  for (int32_t i = 0; i < n; ++i) {
    const int32_t k = draw() % (n - i);
    std::rotate(order.begin() + i, order.begin() + i + k, order.begin() + i + k + 1);
  }
  for (int32_t& entry : order) entry /= design.NrOfTrialsPerCondition;
  return order;
}

DesignMatrix designMatrixOf(const SimulationDesign& design, const std::vector<int32_t>& order, int32_t volumes,
                            const std::vector<double>& hrfKernel) {
  std::vector<std::vector<ProtocolInterval>> intervals(static_cast<std::size_t>(std::max(design.NrOfWithinCells, 0)));
  int32_t t = design.NrOfPreVolumes;
  if (design.HasRestPeriods) t += design.RestDuration;
  for (const int32_t cell : order) {
    if (cell >= 0 && static_cast<std::size_t>(cell) < intervals.size())
      intervals[static_cast<std::size_t>(cell)].push_back({t + 1, t + design.TrialDuration});
    t += design.TrialDuration;
    if (design.HasRestPeriods) t += design.RestDuration;
  }
  DesignMatrix matrix;
  matrix.nrOfVolumes = volumes;
  for (std::size_t cell = 0; cell < intervals.size(); ++cell) {
    Predictor predictor{recordName(conditionName(design, static_cast<int32_t>(cell))),
                        std::vector<float>(static_cast<std::size_t>(std::max(volumes, 0)), 0.0f)};
    setValuesFromIntervals(predictor.values, intervals[cell], 1.0f);
    convolveInPlace(predictor.values, hrfKernel);
    matrix.predictors.push_back(std::move(predictor));
  }
  return matrix;
}

ReplicateSubjects::ReplicateSubjects(const SimulationDesign& design, double repetitionTime)
    : design_(design), repetitionTime_(repetitionTime), hrfKernel_(twoGammaKernel(repetitionTime)) {}

ReplicateSubjects::~ReplicateSubjects() = default;

Status ReplicateSubjects::make(int32_t replicate, const Take& take) {
  const VTCBox box = vtcBoxOf(design_);
  const VTCGeometry geometry{box, vtcDims(box), design_.NrOfVolumes};
  const std::size_t volumes = static_cast<std::size_t>(std::max(design_.NrOfVolumes, 0));
  const std::size_t voxels = voxelsInBox(geometry.Dims);
  data_.resize(voxels * volumes);
  response_.assign(std::max<std::size_t>(volumes, 1), 0.0f);
  ReplicateStart start = replicateStart(replicate);
  FreshRand rand;
  for (int32_t g = 0; g < design_.NrOfGroups; ++g)
    for (int32_t s = 0; s < design_.NrOfSubjectsPerGroup; ++s) {
      SavedSubject subject;
      subject.groupNumber = g + 1;
      subject.subjectNumber = subjectNumber(design_, g, s);
      subject.files.vtc = outputFileName(design_, g, s, kVolumeTimeCourseExtension);
      subject.designMatrix = designMatrixOf(design_, trialOrderOf(design_, std::ref(rand)),
                                            design_.NrOfVolumes, hrfKernel_);
      subject.dims = {geometry.Dims.DimX, geometry.Dims.DimY, geometry.Dims.DimZ};
      subject.nrOfVolumes = design_.NrOfVolumes;
      subject.repetitionTime = repetitionTime_;
      auto components = std::make_shared<SubjectComponents>();
      ComponentRecorder recorder(*components, voxels);
      MatrixPredictors predictors(subject.designMatrix);
      if (!modelSubjectVTC(design_, g, s, static_cast<int32_t>(subject.designMatrix.predictors.size()), predictors,
                           geometry, data_.data(), response_.data(), start.state, start.RandomSeed, &recorder))
        return Status::error(subject.files.vtc + ": the subject's design matrix lacks a predictor");
      components->groupNumber = subject.groupNumber;
      components->subjectNumber = subject.subjectNumber;
      components->pluginGroup = g;
      components->pluginSubject = s;
      components->cellNames = cellNamesOf(subject.designMatrix);
      subject.components = std::move(components);
      subject.data = data_;
      if (Status taken = take(subject, data_); !taken) return taken;
    }
  return Status::ok();
}

}  // namespace cohortix::host
