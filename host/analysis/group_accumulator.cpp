#include "host/analysis/group_accumulator.h"

#include <string>

namespace cohortix::host {

GroupAccumulator::GroupAccumulator(int64_t voxels, int32_t nrOfGroups, std::vector<Effect> effects,
                                   bool keepSubjectValues)
    : voxels_(voxels), nrOfGroups_(nrOfGroups), effects_(std::move(effects)),
      keepSubjectValues_(keepSubjectValues) {
  moments_.resize(static_cast<std::size_t>(nrOfGroups_) * effects_.size());
  subjectValues_.resize(moments_.size());
  values_.resize(static_cast<std::size_t>(voxels_));
  reset();
}

void GroupAccumulator::reset() {
  const auto voxels = static_cast<std::size_t>(voxels_);
  for (EffectMoments& moments : moments_) {
    moments.subjects = 0;
    moments.mean.assign(voxels, 0.0);
    moments.squaredDeviations.assign(voxels, 0.0);
  }
  mask_.assign(voxels, 1);
  for (std::vector<float>& values : subjectValues_) values.clear();
}

const EffectMoments& GroupAccumulator::moments(int32_t group, std::size_t effect) const {
  return moments_.at(static_cast<std::size_t>(group) * effects_.size() + effect);
}

Status GroupAccumulator::add(int32_t group, const FirstLevelFit& fit) {
  if (group < 0 || group >= nrOfGroups_)
    return Status::error("group " + std::to_string(group + 1) + " is not among the " +
                         std::to_string(nrOfGroups_) + " groups");
  if (fit.voxels != voxels_)
    return Status::error("the subject has " + std::to_string(fit.voxels) +
                         " voxels, the others " + std::to_string(voxels_));
  for (std::size_t e = 0; e < effects_.size(); ++e)
    if (static_cast<int32_t>(effects_[e].weights.size()) != fit.cells)
      return Status::error("the subject has " + std::to_string(fit.cells) + " cells, effect \"" +
                           effects_[e].name + "\" weighs " +
                           std::to_string(effects_[e].weights.size()));
  for (int64_t v = 0; v < voxels_; ++v) mask_[v] &= fit.mask[v];
  for (std::size_t e = 0; e < effects_.size(); ++e) {
    values_.assign(values_.size(), 0.0);
    for (int32_t c = 0; c < fit.cells; ++c) {
      const double weight = effects_[e].weights[c];
      if (weight == 0.0) continue;
      const float* beta = fit.betaPercent.data() + c * voxels_;
      for (int64_t v = 0; v < voxels_; ++v) values_[v] += weight * beta[v];
    }
    const std::size_t slot = static_cast<std::size_t>(group) * effects_.size() + e;
    if (keepSubjectValues_) subjectValues_[slot].insert(subjectValues_[slot].end(), values_.begin(), values_.end());
    EffectMoments& moments = moments_[slot];
    const double n = ++moments.subjects;
    for (int64_t v = 0; v < voxels_; ++v) {
      const double delta = values_[v] - moments.mean[v];
      moments.mean[v] += delta / n;
      moments.squaredDeviations[v] += delta * (values_[v] - moments.mean[v]);
    }
  }
  return Status::ok();
}

std::span<const float> GroupAccumulator::subjectValues(int32_t group, std::size_t effect) const {
  return subjectValues_.at(static_cast<std::size_t>(group) * effects_.size() + effect);
}

std::vector<float> GroupAccumulator::allSubjectValues(std::size_t effect) const {
  std::vector<float> all;
  for (int32_t g = 0; g < nrOfGroups_; ++g) {
    const std::span<const float> group = subjectValues(g, effect);
    all.insert(all.end(), group.begin(), group.end());
  }
  return all;
}

EffectMoments GroupAccumulator::pooled(std::size_t effect) const {
  EffectMoments all;
  all.mean.assign(static_cast<std::size_t>(voxels_), 0.0);
  all.squaredDeviations.assign(static_cast<std::size_t>(voxels_), 0.0);
  for (int32_t g = 0; g < nrOfGroups_; ++g) {
    const EffectMoments& group = moments(g, effect);
    if (group.subjects == 0) continue;
    const double before = all.subjects;
    const double added = group.subjects;
    all.subjects += group.subjects;
    for (int64_t v = 0; v < voxels_; ++v) {
      const double delta = group.mean[v] - all.mean[v];
      all.mean[v] += delta * added / all.subjects;
      all.squaredDeviations[v] += group.squaredDeviations[v] + delta * delta * before * added / all.subjects;
    }
  }
  return all;
}

}  // namespace cohortix::host
