#include "host/session/subject_components.h"

#include <algorithm>

#include "control/cell_index.h"

namespace cohortix::host {

float SubjectComponents::effectAt(std::size_t voxel, std::size_t p) const {
  const int16_t label = finalRegion[voxel];
  if (label <= 0) return 0.0f;
  const std::vector<CellEffect>& effects = regions[static_cast<std::size_t>(label - 1)].effects;
  if (p >= effects.size()) return 0.0f;
  return signalWeight.empty() ? effects[p].received : signalWeight[voxel] * effects[p].received;
}

std::vector<std::string> cellNamesOf(const DesignMatrix& matrix) {
  const std::size_t cells = std::min<std::size_t>(matrix.predictors.size(), kMaxWithinCells);
  std::vector<std::string> names;
  for (std::size_t p = 0; p < cells; ++p) names.push_back(matrix.predictors[p].name);
  return names;
}

std::vector<float> regionResponse(const SubjectComponents& subject, const DesignMatrix& matrix,
                                  std::size_t region, std::size_t volumes) {
  std::vector<float> response(volumes, 0.0f);
  const std::vector<CellEffect>& effects = subject.regions.at(region).effects;
  for (std::size_t p = 0; p < effects.size() && p < matrix.predictors.size(); ++p) {
    const std::vector<float>& course = matrix.predictors[p].values;
    const float effect = effects[p].received;
    for (std::size_t t = 0; t < volumes; ++t) {
      const float value = t < course.size() ? course[t] : 0.0f;
      response[t] = response[t] + effect * value;
    }
  }
  return response;
}

void writeNoiseFree(const SubjectComponents& subject, const DesignMatrix& matrix, std::span<float> data,
                    std::size_t volumes) {
  std::vector<std::vector<float>> responses;
  for (std::size_t r = 0; r < subject.regions.size(); ++r)
    responses.push_back(regionResponse(subject, matrix, r, volumes));
  const float A = subject.levels.OnePercent;
  for (std::size_t v = 0; v < subject.voxelBaseline.size(); ++v) {
    const float F = subject.voxelBaseline[v];
    const int16_t label = subject.finalRegion[v];
    const float* response = label > 0 ? responses[static_cast<std::size_t>(label - 1)].data() : nullptr;
    for (std::size_t t = 0, i = v * volumes; t < volumes && i < data.size(); ++t, ++i)
      data[i] = response != nullptr ? F + A * response[t] : F;
  }
}

SubjectParts separateSubject(const SubjectComponents& subject, const DesignMatrix& matrix,
                             std::span<const float> data, std::size_t volumes) {
  SubjectParts parts;
  parts.noiseFree.assign(data.size(), 0.0f);
  writeNoiseFree(subject, matrix, parts.noiseFree, volumes);
  parts.noise.resize(data.size());
  for (std::size_t i = 0; i < data.size(); ++i) parts.noise[i] = data[i] - parts.noiseFree[i];
  return parts;
}

}  // namespace cohortix::host
