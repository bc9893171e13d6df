// The cost of the subject report to the plug-in's thread: one whole-brain subject
// (examples/full-brain.cxd) made by the subject model without an observer, as the
// host application runs it, and with the report a host asks for, the plug-in's
// side and the host's recorder together, as the cohortix command runs it. The
// report's cost is the ratio of the two times.

#include <benchmark/benchmark.h>

#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "control/control_file_reader.h"
#include "control/derived_counts.h"
#include "control/vtc_geometry.h"
#include "host/session/subject_report_recorder.h"
#include "simulation/subject_model.h"
#include "simulation/subject_report.h"

namespace {

using namespace cohortix;

class SinePredictors final : public PredictorSource {
 public:
  explicit SinePredictors(std::size_t volumes) {
    for (int p = 0; p < kMaxWithinCells; ++p) {
      courses_.emplace_back(volumes);
      for (std::size_t t = 0; t < volumes; ++t)
        courses_.back()[t] = static_cast<float>(std::sin(0.1 * static_cast<double>(t) + p));
    }
  }
  const float* predictorTimeCourse(int32_t p) override {
    return courses_[static_cast<std::size_t>(p)].data();
  }

 private:
  std::vector<std::vector<float>> courses_;
};

struct WholeBrainSubject {
  std::unique_ptr<SimulationDesign> design = std::make_unique<SimulationDesign>();
  VTCGeometry geometry;
  std::vector<float> data, response;

  WholeBrainSubject() {
    std::string message;
    if (!parseControlFile(COHORTIX_SOURCE_DIR "/examples/full-brain.cxd", *design, message))
      throw std::runtime_error(message);
    computeDerivedCounts(*design);
    const VTCBox box = vtcBoxOf(*design);
    geometry = {box, vtcDims(box), design->NrOfVolumes};
    data.resize(voxelsInBox(geometry.Dims) * static_cast<std::size_t>(design->NrOfVolumes));
    response.resize(static_cast<std::size_t>(design->NrOfVolumes));
  }

  void make(SubjectObserver* observer) {
    SinePredictors predictors(response.size());
    RandomState state{};
    int32_t seed = -1;
    modelSubjectVTC(*design, 0, 0, 2, predictors, geometry, data.data(), response.data(), state,
                    seed, observer);
    benchmark::DoNotOptimize(data.data());
  }
};

void subjectUnobserved(benchmark::State& state) {
  WholeBrainSubject subject;
  for (auto _ : state) subject.make(nullptr);
}
BENCHMARK(subjectUnobserved)->Unit(benchmark::kMillisecond);

void subjectReported(benchmark::State& state) {
  WholeBrainSubject subject;
  const std::size_t voxels = voxelsInBox(subject.geometry.Dims);
  host::SubjectReportRecorder recorder([voxels] { return voxels; });
  for (auto _ : state) {
    ReportingObserver reporting(*recorder.table(), 0, 0);
    subject.make(&reporting);
    benchmark::DoNotOptimize(recorder.take());
  }
}
BENCHMARK(subjectReported)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
