#include "host/anatomy/vtc_anatomy.h"

#include <algorithm>
#include <cmath>
#include <exception>
#include <stdexcept>
#include <thread>

#include "host/documents/two_gamma_hrf.h"
#include "host/motion/rigid_resampling.h"

namespace cohortix::host::anatomy {
namespace {

// The offsets of a voxel's 1 mm block around the point its affine gives it.
std::array<int32_t, 2> blockOffsets(int32_t resolution) {
  const int32_t low = -(resolution - 1) / 2;
  return {low, low + resolution - 1};
}

struct BlockMeans {
  double brain = 0.0;
  std::array<double, 3> tissue{};
};

// Where a subject's grid point lies on the template's grid: one affine of grid
// coordinates, made once from the subject's (inverse) affine in millimetres.
struct GridAffine {
  std::array<std::array<double, 4>, 3> m{};

  explicit GridAffine(const SubjectAffine& own) {
    const auto toTemplate = [&own](const Point& p) {
      return gridOfTalairach(applied(own.inverse, talairachOfGrid(p)));
    };
    const Point origin = toTemplate({0, 0, 0});
    for (int c = 0; c < 3; ++c) {
      Point unit{};
      unit[c] = 1;
      const Point moved = toTemplate(unit);
      for (int r = 0; r < 3; ++r) m[r][c] = moved[r] - origin[r];
    }
    for (int r = 0; r < 3; ++r) m[r][3] = origin[r];
  }

  int32_t at(int r, int32_t x, int32_t y, int32_t z) const {
    return static_cast<int32_t>(std::lround(m[r][0] * x + m[r][1] * y + m[r][2] * z + m[r][3]));
  }
};

// The template's voxel at the subject's grid point (x, y, z): the point itself,
// or with a subject's own anatomy the template's voxel nearest to where its
// inverse affine takes the point; -1 outside the anatomy.
int64_t templateIndex(const Anatomy& anatomy, const GridAffine* own, int32_t x, int32_t y, int32_t z) {
  if (own == nullptr) return anatomy.grid.index(x, y, z);
  return anatomy.grid.index(own->at(0, x, y, z), own->at(1, x, y, z), own->at(2, x, y, z));
}

BlockMeans blockMeans(const Anatomy& anatomy, const GridAffine* own, int32_t x, int32_t y, int32_t z,
                      int32_t resolution) {
  const auto [low, high] = blockOffsets(resolution);
  BlockMeans means;
  int32_t count = 0;
  for (int32_t dz = low; dz <= high; ++dz)
    for (int32_t dy = low; dy <= high; ++dy)
      for (int32_t dx = low; dx <= high; ++dx, ++count) {
        const int64_t i = templateIndex(anatomy, own, x + dx, y + dy, z + dz);
        if (i < 0) continue;
        const auto at = static_cast<std::size_t>(i);
        means.brain += anatomy.brain[at];
        for (int c = 0; c < 3; ++c) means.tissue[c] += anatomy.tissue[c][at] / 255.0;
      }
  means.brain /= count;
  for (double& t : means.tissue) t /= count;
  return means;
}

}  // namespace

VTCAnatomy anatomyOnVTC(const Anatomy& anatomy, const VTCBox& box, const EpiContrast& contrast,
                        const SubjectAffine* own) {
  VTCAnatomy on;
  on.box = box;
  on.dims = vtcDims(box);
  const std::size_t voxels = voxelsInBox(on.dims);
  on.level.assign(voxels, 0.0f);
  for (auto& t : on.tissue) t.assign(voxels, 0.0f);
  on.brainFraction.assign(voxels, 0.0f);
  on.brainMask.assign(voxels, 0);
  const std::optional<GridAffine> moved = own == nullptr ? std::nullopt : std::optional<GridAffine>(*own);
  const GridAffine* toTemplate = moved ? &*moved : nullptr;
  const double weights[3] = {contrast.csf, contrast.grey, contrast.white};
  double brainSum = 0.0;
  std::size_t brainVoxels = 0, v = 0;
  for (int32_t k = 0; k < on.dims.DimZ; ++k)
    for (int32_t j = 0; j < on.dims.DimY; ++j)
      for (int32_t i = 0; i < on.dims.DimX; ++i, ++v) {
        const BlockMeans means = blockMeans(anatomy, toTemplate, box.XStart + box.Resolution * i,
                                            box.YStart + box.Resolution * j,
                                            box.ZStart + box.Resolution * k, box.Resolution);
        double level = (1.0 - means.brain) * contrast.background;
        for (int c = 0; c < 3; ++c) {
          on.tissue[c][v] = static_cast<float>(means.tissue[c]);
          level += means.tissue[c] * weights[c];
        }
        on.level[v] = static_cast<float>(level);
        on.brainFraction[v] = static_cast<float>(means.brain);
        if (means.brain >= 0.5) {
          on.brainMask[v] = 1;
          brainSum += level;
          ++brainVoxels;
        }
      }
  const double mean = brainVoxels > 0 ? brainSum / static_cast<double>(brainVoxels) : 1.0;
  for (float& level : on.level) level = static_cast<float>(level / mean);
  return on;
}

SubjectAffine AnatomyVariation::affineOf(int32_t subjectNumber) const {
  VariationKey subject = key;
  subject.subject = static_cast<uint32_t>(subjectNumber);
  return drawSubjectAffine(subject, ranges);
}

Composition::SubjectAnatomy Composition::anatomyOf(const SubjectComponents& subject) const {
  SubjectAnatomy chosen;
  chosen.on = &anatomy_;
  if (!variation_ || variation_->anatomy == nullptr) return chosen;
  const SubjectAffine own = variation_->affineOf(subject.subjectNumber);
  chosen.own = anatomyOnVTC(*variation_->anatomy, anatomy_.box, kEpiContrast, &own);
  chosen.on = &*chosen.own;
  return chosen;
}

void Composition::composeData(const SubjectComponents& subject, const DesignMatrix& matrix,
                              std::span<float> data, std::size_t volumes, const ProtocolDocument* protocol) const {
  const std::size_t voxels = subject.voxelBaseline.size();
  if (voxels != anatomy_.voxels() || voxels * volumes != data.size())
    throw std::runtime_error("the subject's data are not of the anatomy's grid");
  const SubjectAnatomy chosen = anatomyOf(subject);
  const VTCAnatomy& on = *chosen.on;
  std::vector<std::vector<float>> responses;
  for (std::size_t r = 0; r < subject.regions.size(); ++r)
    responses.push_back(regionResponse(subject, matrix, r, volumes));
  if (slices_ && protocol == nullptr) throw std::runtime_error("timing its slices needs the subject's protocol");
  if (slices_) {
    const SliceResponses timed = sliceResponses(subject, matrix, *protocol, volumes);
    return composeParts(subject, on, responses, &timed, data, volumes);
  }
  if (motion_) return composeParts(subject, on, responses, nullptr, data, volumes);
  const float A = subject.levels.OnePercent;
  for (std::size_t v = 0; v < voxels; ++v) {
    float* values = data.data() + v * volumes;
    const float F = subject.voxelBaseline[v];
    const float baseline = on.level[v] * F;
    const int16_t label = subject.finalRegion[v];
    const float kept = keepNoise_ ? 1.0f : 0.0f;
    if (label <= 0) {
      for (std::size_t t = 0; t < volumes; ++t) values[t] = baseline + kept * (values[t] - F);
      continue;
    }
    const float* response = responses[static_cast<std::size_t>(label - 1)].data();
    const float weight = signalWeight(on, v);
    for (std::size_t t = 0; t < volumes; ++t) {
      const float signal = A * response[t];
      const float noise = values[t] - (F + signal);
      values[t] = (baseline + weight * signal) + kept * noise;
    }
  }
}

std::vector<motion::Pose> AnatomyMotion::posesOf(int32_t subjectNumber, std::size_t volumes) const {
  return motion::drawTrajectory({seed, replicate, static_cast<uint32_t>(subjectNumber)}, profile, volumes,
                                repetitionTime);
}

Composition::SliceResponses Composition::sliceResponses(const SubjectComponents& subject,
                                                        const DesignMatrix& matrix,
                                                        const ProtocolDocument& protocol,
                                                        std::size_t volumes) const {
  // Each predictor's boxcar, from the condition of its name; convolved as the
  // session convolves it, it must give the predictor back.
  std::vector<std::vector<float>> boxcars;
  const std::vector<double> kernel = twoGammaKernel(slices_->repetitionTime);
  for (const Predictor& predictor : matrix.predictors) {
    std::vector<float> boxcar(predictor.values.size(), 0.0f);
    for (const ProtocolCondition& condition : protocol.conditions)
      if (condition.name == predictor.name) setValuesFromIntervals(boxcar, condition.intervals, 1.0f);
    std::vector<float> convolved = boxcar;
    convolveInPlace(convolved, kernel);
    if (convolved != predictor.values)
      throw std::runtime_error("its predictor \"" + predictor.name +
                               "\" is not its protocol's condition convolved with the haemodynamic response, so "
                               "its slices cannot be given their own times");
    boxcars.push_back(std::move(boxcar));
  }
  SliceResponses timed;
  for (const double offset : slices_->times) {
    DesignMatrix shifted = matrix;
    const std::vector<double> at = twoGammaKernelAt(slices_->repetitionTime, offset);
    for (std::size_t p = 0; p < boxcars.size(); ++p) {
      shifted.predictors[p].values = boxcars[p];
      convolveInPlace(shifted.predictors[p].values, at);
    }
    std::vector<std::vector<float>> regions;
    for (std::size_t r = 0; r < subject.regions.size(); ++r)
      regions.push_back(regionResponse(subject, shifted, r, volumes));
    timed.push_back(std::move(regions));
  }
  return timed;
}

void Composition::composeParts(const SubjectComponents& subject, const VTCAnatomy& on,
                               const std::vector<std::vector<float>>& responses, const SliceResponses* slices,
                               std::span<float> data, std::size_t volumes) const {
  const std::size_t voxels = subject.voxelBaseline.size();
  const auto sliceSize = static_cast<std::size_t>(on.dims.DimX) * static_cast<std::size_t>(on.dims.DimY),
             slicesInBox = static_cast<std::size_t>(on.dims.DimZ);
  if (slices != nullptr && slices->size() != slicesInBox)
    throw std::runtime_error("the slices' times are not of the anatomy's grid");
  // Without motion the noise-free values go straight back over the noise; with
  // it they are gathered volume by volume and the data keep the noise alone.
  std::vector<float> clean(motion_ ? voxels * volumes : 0);
  const float A = subject.levels.OnePercent;
  const float kept = keepNoise_ ? 1.0f : 0.0f;
  for (std::size_t v = 0; v < voxels; ++v) {
    float* values = data.data() + v * volumes;
    const float F = subject.voxelBaseline[v];
    const float baseline = on.level[v] * F;
    const int16_t label = subject.finalRegion[v];
    const auto region = static_cast<std::size_t>(label > 0 ? label - 1 : 0);
    const float* response = label > 0 ? responses[region].data() : nullptr;
    const float* shown = response;
    if (label > 0 && slices != nullptr) shown = (*slices)[v / sliceSize][region].data();
    const float weight = label > 0 ? signalWeight(on, v) : 0.0f;
    for (std::size_t t = 0; t < volumes; ++t) {
      const float signal = response != nullptr ? A * response[t] : 0.0f;
      const float noise = values[t] - (F + signal);
      const float cleanValue = baseline + weight * (shown != nullptr ? A * shown[t] : 0.0f);
      if (motion_) {
        clean[t * voxels + v] = cleanValue;
        values[t] = kept * noise;
      } else {
        values[t] = cleanValue + kept * noise;
      }
    }
  }
  if (!motion_) return;
  const motion::RigidResampler resampler({on.dims.DimX, on.dims.DimY, on.dims.DimZ}, talairachAffine(on.box));
  const std::vector<motion::Pose> poses = motion_->posesOf(subject.subjectNumber, volumes);
  // Each volume moved in its own place; worker w takes volumes w, w + parts, ...
  const auto moveVolumes = [&](std::size_t part, std::size_t parts) {
    std::vector<float> moved(voxels);
    for (std::size_t t = part; t < volumes; t += parts) {
      const std::span<float> volume(clean.data() + t * voxels, voxels);
      resampler.move(volume, poses[t], moved);
      std::copy(moved.begin(), moved.end(), volume.begin());
    }
  };
  const std::size_t parts = std::clamp<std::size_t>(static_cast<std::size_t>(std::max(motion_->threads, 1)), 1,
                                                    std::max<std::size_t>(volumes, 1));
  std::vector<std::thread> workers;
  std::vector<std::exception_ptr> failures(parts);
  for (std::size_t part = 1; part < parts; ++part)
    workers.emplace_back([&, part] {
      try {
        moveVolumes(part, parts);
      } catch (...) {
        failures[part] = std::current_exception();
      }
    });
  try {
    moveVolumes(0, parts);
  } catch (...) {
    failures[0] = std::current_exception();
  }
  for (std::thread& worker : workers) worker.join();
  for (const std::exception_ptr& failure : failures)
    if (failure) std::rethrow_exception(failure);
  // Back over the noise, a block of voxels at a time so both layouts stay in cache.
  constexpr std::size_t kBlock = 16;
  for (std::size_t first = 0; first < voxels; first += kBlock) {
    const std::size_t last = std::min(first + kBlock, voxels);
    for (std::size_t t = 0; t < volumes; ++t) {
      const float* volume = clean.data() + t * voxels;
      for (std::size_t v = first; v < last; ++v) data[v * volumes + t] += volume[v];
    }
  }
}

std::vector<float> Composition::composedBaseline(const SubjectComponents& subject) const {
  const SubjectAnatomy chosen = anatomyOf(subject);
  std::vector<float> baseline(subject.voxelBaseline.size(), 0.0f);
  for (std::size_t v = 0; v < baseline.size() && v < chosen.on->voxels(); ++v)
    baseline[v] = chosen.on->level[v] * subject.voxelBaseline[v];
  return baseline;
}

void Composition::composeTruth(SubjectComponents& subject) const {
  const SubjectAnatomy chosen = anatomyOf(subject);
  const std::size_t voxels = std::min(subject.voxelBaseline.size(), chosen.on->voxels());
  subject.signalWeight.assign(subject.voxelBaseline.size(), 1.0f);
  for (std::size_t v = 0; v < voxels; ++v) {
    subject.voxelBaseline[v] = chosen.on->level[v] * subject.voxelBaseline[v];
    subject.signalWeight[v] = signalWeight(*chosen.on, v);
  }
}

}  // namespace cohortix::host::anatomy
