#include "host/truth/truth_replay.h"

#include <isa-l/crc64.h>

#include <algorithm>

#include "control/cell_index.h"
#include "host/session/component_recorder.h"
#include "simulation/subject_model.h"

namespace cohortix::host::truth {
namespace {

// The subject's design matrix as the host handed it to the plug-in: predictor p's
// values, padded with zeros to the VTC's volumes so a short predictor cannot be
// read past its end (the plug-in's data then differ from the replay's).
class SavedPredictors final : public PredictorSource {
 public:
  SavedPredictors(const DesignMatrix& matrix, std::size_t volumes)
      : matrix_(matrix), volumes_(volumes) {}

  const float* predictorTimeCourse(int32_t p) override {
    if (p < 0 || static_cast<std::size_t>(p) >= matrix_.predictors.size()) return nullptr;
    const std::vector<float>& values = matrix_.predictors[static_cast<std::size_t>(p)].values;
    if (values.size() >= volumes_) return values.data();
    padded_.assign(volumes_, 0.0f);
    std::copy(values.begin(), values.end(), padded_.begin());
    return padded_.data();
  }

 private:
  const DesignMatrix& matrix_;
  std::size_t volumes_;
  std::vector<float> padded_;
};

}  // namespace

DataChecksum checksumOf(std::span<const float> data) {
  return {crc64_ecma_refl(0, reinterpret_cast<const uint8_t*>(data.data()), data.size_bytes()),
          data.size()};
}

TruthReplay::TruthReplay(const SimulationDesign& design)
    : design_(std::make_unique<SimulationDesign>(design)) {}

Status TruthReplay::replay(const SavedSubject& subject, const DataChecksum& saved,
                           SubjectTruth& truth) {
  if (lost_) return Status::error("an earlier subject could not be replayed");
  if (!subject.known() || subject.groupNumber != g_ + 1 ||
      subject.subjectNumber != cohortix::subjectNumber(*design_, g_, s_)) {
    lost_ = true;
    advance();
    return Status::error("the saved subject is not the study's next subject");
  }
  Status replayed = replayNext(subject.designMatrix, subject.header, saved, truth);
  truth.groupNumber = subject.groupNumber;
  truth.subjectNumber = subject.subjectNumber;
  return replayed;
}

Status TruthReplay::replayNext(const DesignMatrix& matrix, const VTCHeader& header,
                               const DataChecksum& saved, SubjectTruth& truth) {
  if (lost_) return Status::error("an earlier subject could not be replayed");
  Status replayed = replayModel(matrix, header, saved, truth);
  if (!replayed) lost_ = true;
  advance();
  return replayed;
}

void TruthReplay::advance() {
  if (++s_ >= design_->NrOfSubjectsPerGroup) {
    s_ = 0;
    ++g_;
  }
}

Status TruthReplay::replayModel(const DesignMatrix& matrix, const VTCHeader& header,
                                const DataChecksum& saved, SubjectTruth& truth) {
  const VTCBox box = boxOfHeader(header);
  const VTCGeometry geometry{box, vtcDims(box), header.NrOfVolumes};
  const std::size_t volumes =
      geometry.NrOfVolumes > 0 ? static_cast<std::size_t>(geometry.NrOfVolumes) : 0;
  const std::size_t voxels = voxelsInBox(geometry.Dims);
  if (voxels * volumes != saved.values)
    return Status::error("the saved data are not the size of the subject's VTC");
  data_.resize(saved.values);
  response_.assign(std::max<std::size_t>(volumes, 1), 0.0f);
  truth.pluginGroup = g_;
  truth.pluginSubject = s_;
  truth.cellNames = cellNamesOf(matrix);
  ComponentRecorder recorder(truth, voxels);
  SavedPredictors predictors(matrix, volumes);
  const auto predictorCount = static_cast<int32_t>(matrix.predictors.size());
  if (!modelSubjectVTC(*design_, g_, s_, predictorCount, predictors, geometry, data_.data(),
                       response_.data(), state_, RandomSeed, &recorder))
    return Status::error("the subject's design matrix lacks a predictor");
  if (checksumOf(data_) != saved) return Status::error("the replayed data differ from the saved data");
  return Status::ok();
}

}  // namespace cohortix::host::truth
