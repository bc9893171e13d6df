#include "host/anatomy/vtc_anatomy.h"

#include <algorithm>
#include <cmath>
#include <exception>
#include <stdexcept>
#include <thread>

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
                              std::span<float> data, std::size_t volumes) const {
  const std::size_t voxels = subject.voxelBaseline.size();
  if (voxels != anatomy_.voxels() || voxels * volumes != data.size())
    throw std::runtime_error("the subject's data are not of the anatomy's grid");
  const SubjectAnatomy chosen = anatomyOf(subject);
  const VTCAnatomy& on = *chosen.on;
  std::vector<std::vector<float>> responses;
  for (std::size_t r = 0; r < subject.regions.size(); ++r)
    responses.push_back(regionResponse(subject, matrix, r, volumes));
  if (motion_) return composeMoving(subject, on, responses, data, volumes);
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

void Composition::composeMoving(const SubjectComponents& subject, const VTCAnatomy& on,
                                const std::vector<std::vector<float>>& responses, std::span<float> data,
                                std::size_t volumes) const {
  const std::size_t voxels = subject.voxelBaseline.size();
  // The noise-free data, volume by volume; the data keep the noise alone.
  std::vector<float> clean(voxels * volumes);
  const float A = subject.levels.OnePercent;
  const float kept = keepNoise_ ? 1.0f : 0.0f;
  for (std::size_t v = 0; v < voxels; ++v) {
    float* values = data.data() + v * volumes;
    const float F = subject.voxelBaseline[v];
    const float baseline = on.level[v] * F;
    const int16_t label = subject.finalRegion[v];
    const float* response = label > 0 ? responses[static_cast<std::size_t>(label - 1)].data() : nullptr;
    const float weight = label > 0 ? signalWeight(on, v) : 0.0f;
    for (std::size_t t = 0; t < volumes; ++t) {
      const float signal = response != nullptr ? A * response[t] : 0.0f;
      const float noise = values[t] - (F + signal);
      clean[t * voxels + v] = baseline + weight * signal;
      values[t] = kept * noise;
    }
  }
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
