#pragma once
// The subjects of one replicate of a power analysis, made in the host by the
// plug-in's own model (modelSubjectVTC) from the replicate's start
// (replicate_stream.h): exactly what the plug-in makes of the study with that many
// subjects per group when its generator starts there, subject after subject in its
// run order (group 1's, then group 2's). Each subject gets its protocol and design
// matrix as the plug-in asks the host to build them: the trial order is the
// plug-in's permutation drawn from the C library's rand() stream as a fresh
// process starts it, continued from subject to subject of the replicate, so every
// replicate's subject i meets its trials in the order the study's subject i does.
// The stream is a private copy: nothing of the process's own rand() is drawn.

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <vector>

#include "control/simulation_design.h"
#include "host/io/status.h"
#include "host/session/saved_subject.h"

namespace cohortix::host {

// The trial order of one subject: a fresh permutation of the trials from the given
// rand()-like source, as the plug-in draws it, each entry the trial's cell.
std::vector<int32_t> trialOrderOf(const SimulationDesign& design, const std::function<int32_t()>& draw);

// The design matrix the host builds for a subject of this trial order: one
// two-gamma-convolved predictor per cell, `volumes` long.
DesignMatrix designMatrixOf(const SimulationDesign& design, const std::vector<int32_t>& order, int32_t volumes,
                            const std::vector<double>& hrfKernel);

class ReplicateSubjects {
 public:
  // `design`: the study with the replicate's subjects per group as the plug-in
  // reads it (derived counts computed); it must outlive this object.
  ReplicateSubjects(const SimulationDesign& design, double repetitionTime);
  ~ReplicateSubjects();

  // Makes every subject of replicate r in run order and hands each to `take` with
  // its data, which `take` may change in place; stops at the first error.
  using Take = std::function<Status(const SavedSubject& subject, std::span<float> data)>;
  Status make(int32_t replicate, const Take& take);

 private:
  const SimulationDesign& design_;
  double repetitionTime_;
  std::vector<double> hrfKernel_;
  std::vector<float> data_, response_;
};

}  // namespace cohortix::host
