#include "host/noise/noise_model.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <exception>
#include <numbers>
#include <sstream>
#include <thread>

#include "host/noise/cosine_basis.h"
#include "host/noise/noise_target.h"
#include "host/noise/simd_rows.h"
#include "host/noise/slab_smoother.h"

namespace cohortix::host::noise {
namespace {

// Small enough for the smoother's ring of slices to stay in the cache.
constexpr std::size_t kSlabBudgetBytes = std::size_t{8} << 20;
constexpr std::size_t kChunkGranule = 32;  // a Gaussian block

std::string number(double value) {
  std::ostringstream text;
  text << value;
  return text.str();
}

Status checkGeometry(const NoiseGeometry& g) {
  for (int axis = 0; axis < 3; ++axis) {
    if (g.dim(axis) < 1 || g.dim(axis) > kMaxLatticeCoordinate / 2)
      return Status::error("expected dimensions from 1 to " + std::to_string(kMaxLatticeCoordinate / 2) +
                           ", found " + std::to_string(g.dimX) + " x " + std::to_string(g.dimY) +
                           " x " + std::to_string(g.dimZ));
    if (!(g.voxelMm[axis] > 0.0) || !std::isfinite(g.voxelMm[axis]))
      return Status::error("expected voxel sizes above 0 mm, found " + number(g.voxelMm[axis]));
  }
  if (g.volumes < 3) return Status::error("expected at least 3 volumes, found " + std::to_string(g.volumes));
  if (!(g.repetitionTime > 0.0) || !std::isfinite(g.repetitionTime))
    return Status::error("expected a repetition time above 0 s, found " + number(g.repetitionTime));
  return Status::ok();
}

Result<std::vector<LatticeKernel>> kernelsFor(double fwhmMm, const NoiseGeometry& g, const std::string& what) {
  if (!(fwhmMm >= 0.0) || !std::isfinite(fwhmMm))
    return Status::error("expected " + what + " of 0 mm or more, found " + number(fwhmMm));
  std::vector<LatticeKernel> kernels;
  const char* axes = "xyz";
  for (int axis = 0; axis < 3; ++axis) {
    const double voxels = fwhmMm / g.voxelMm[axis];
    if (voxels > kMaxFwhmVoxels)
      return Status::error("expected " + what + " of at most " + number(kMaxFwhmVoxels) +
                           " voxels, found " + number(fwhmMm) + " mm, " + number(voxels) +
                           " voxels along " + axes[axis]);
    kernels.push_back(calibratedKernel(voxels));
  }
  return kernels;
}

Result<ArProcess> arFor(const std::vector<double>& coefficients, const NoiseGeometry& g, const std::string& what) {
  Result<ArProcess> process = ArProcess::create(coefficients);
  if (!process) return process.status().context(what);
  if (process->order() >= g.volumes)
    return Status::error(what + ": expected fewer coefficients than the " + std::to_string(g.volumes) +
                         " volumes, found " + std::to_string(process->order()));
  return process;
}

Status checkAmount(double value, const std::string& what) {
  if (!(value >= 0.0) || !std::isfinite(value))
    return Status::error("expected " + what + " of 0 or more, found " + number(value));
  return Status::ok();
}

std::vector<float> padded(const std::vector<double>& values) {
  std::vector<float> out(paddedLength(values.size()), 0.0f);
  std::transform(values.begin(), values.end(), out.begin(), [](double v) { return static_cast<float>(v); });
  return out;
}

}  // namespace

struct NoiseModel::SubjectState {
  CounterRandom random;
  std::vector<float> scale;         // baseline / 100 per voxel
  float systemSD = 0.0f;            // absolute
  std::vector<float> global;        // percent, padded
  std::vector<std::vector<float>> weights;  // per rhythm: 2 per voxel
};

Result<NoiseModel> NoiseModel::prepare(const NoiseProfile& profile, const NoiseGeometry& geometry) {
  if (!profile.target) return prepare(profile.components, geometry);
  if (Status status = checkGeometry(geometry); !status) return status;
  Result<NoiseComponents> solved = solveTarget(*profile.target, geometry);
  if (!solved) return solved.status().context("target");
  return prepare(solved.value(), geometry);
}

Result<NoiseModel> NoiseModel::prepare(const NoiseComponents& components, const NoiseGeometry& geometry) {
  if (Status status = checkGeometry(geometry); !status) return status;
  NoiseModel model;
  model.geometry_ = geometry;
  model.components_ = components;
  const int n = geometry.volumes;

  const RandomNoise& noise = components.noise;
  if (Status status = checkAmount(noise.levelPercent, "noise.level"); !status) return status;
  if (!(noise.systemShare >= 0.0 && noise.systemShare <= 1.0))
    return Status::error("expected noise.system_share from 0 to 1, found " + number(noise.systemShare));
  Result<ArProcess> tissueAr = arFor(noise.ar, geometry, "noise.ar");
  if (!tissueAr) return tissueAr.status();
  Result<std::vector<LatticeKernel>> tissueKernels = kernelsFor(noise.fwhmMm, geometry, "noise.fwhm_mm");
  if (!tissueKernels) return tissueKernels.status();
  model.tissue_ = noise.levelPercent > 0.0 && noise.systemShare < 1.0;
  model.tissueSD_ = static_cast<float>(noise.levelPercent * std::sqrt(1.0 - noise.systemShare));
  model.tissueAr_ = tissueAr.value();
  for (int axis = 0; axis < 3; ++axis) model.tissueKernels_[axis] = tissueKernels.value()[axis];
  model.systemSD_ = static_cast<float>(noise.levelPercent * std::sqrt(noise.systemShare));
  model.rician_ = noise.system == SystemNoise::Rician && model.systemSD_ > 0.0f;

  const Drift& drift = components.drift;
  if (Status status = checkAmount(drift.amplitudePercent, "drift.amplitude"); !status) return status;
  if (!(drift.cutoffSeconds > 0.0) || !std::isfinite(drift.cutoffSeconds))
    return Status::error("expected drift.cutoff_s above 0, found " + number(drift.cutoffSeconds));
  if (drift.amplitudePercent > 0.0) {
    model.driftOrders_ = cosineOrders(n, geometry.repetitionTime, drift.cutoffSeconds);
    const std::vector<double> basis = cosineBasis(n, model.driftOrders_);
    const std::size_t row = paddedLength(n);
    model.driftBasis_.assign(model.driftOrders_ * row, 0.0f);
    for (int k = 0; k < model.driftOrders_; ++k)
      for (int t = 0; t < n; ++t) model.driftBasis_[k * row + t] = static_cast<float>(basis[k * n + t]);
    if (model.driftOrders_ > 0)
      model.driftScale_ = static_cast<float>(drift.amplitudePercent / std::sqrt(model.driftOrders_));
  }

  for (const Rhythm& rhythm : components.rhythms) {
    const std::string what = "rhythm \"" + rhythm.name + "\"";
    if (!(rhythm.frequencyHz > 0.0) || !std::isfinite(rhythm.frequencyHz))
      return Status::error(what + ": expected a frequency above 0 Hz, found " + number(rhythm.frequencyHz));
    if (Status status = checkAmount(rhythm.amplitudePercent, what + " amplitude"); !status) return status;
    Result<std::vector<LatticeKernel>> kernels = kernelsFor(rhythm.weightsFwhmMm, geometry, what + " weights_fwhm_mm");
    if (!kernels) return kernels.status();
    PreparedRhythm prepared;
    prepared.amplitude = static_cast<float>(rhythm.amplitudePercent / std::sqrt(2.0));
    std::vector<double> cosine(n), sine(n);
    for (int t = 0; t < n; ++t) {
      const double phase = 2.0 * std::numbers::pi * rhythm.frequencyHz * geometry.repetitionTime * t;
      cosine[t] = std::cos(phase);
      sine[t] = std::sin(phase);
    }
    prepared.cosine = padded(cosine);
    prepared.sine = padded(sine);
    for (int axis = 0; axis < 3; ++axis) prepared.kernels[axis] = kernels.value()[axis];
    model.rhythms_.push_back(std::move(prepared));
  }

  if (Status status = checkAmount(components.global.amplitudePercent, "global.amplitude"); !status) return status;
  Result<ArProcess> globalAr = arFor(components.global.ar, geometry, "global.ar");
  if (!globalAr) return globalAr.status();
  model.globalAr_ = globalAr.value();
  model.globalSD_ = static_cast<float>(components.global.amplitudePercent);

  const std::size_t perVolume =
      SlabSmoother::footprint(geometry.dimX, geometry.dimY, model.tissueKernels_[0].radius,
                              model.tissueKernels_[1].radius, model.tissueKernels_[2].radius, kRowLanes) /
      kRowLanes * sizeof(float);
  const std::size_t fitting = std::max<std::size_t>(1, kSlabBudgetBytes / perVolume / kChunkGranule) * kChunkGranule;
  model.chunk_ = std::min(fitting, (static_cast<std::size_t>(n) + kChunkGranule - 1) / kChunkGranule * kChunkGranule);
  return model;
}

void NoiseModel::limitVolumesPerPass(std::size_t volumes) {
  const std::size_t granules = std::max<std::size_t>(1, (volumes + kChunkGranule - 1) / kChunkGranule);
  chunk_ = std::min(chunk_, granules * kChunkGranule);
}

namespace {

// The signal level the system noise's percentage is of: the mean of the voxels
// that hold signal, so a dark background around a brain does not pull it down.
// Those above an eighth of the mean of every positive voxel (as the analysis's
// mask takes them), then, of those, the ones above half their mean, which leaves
// out the edges a voxel of brain shares with the background. In a box every voxel
// holds signal and the reference is the mean of all. `scale` holds level / 100.
double meanAbove(const std::vector<float>& scale, double floor, double otherwise) {
  double sum = 0.0;
  int64_t count = 0;
  for (float s : scale)
    if (s > floor) sum += s, ++count;
  return count > 0 ? sum / static_cast<double>(count) : otherwise;
}

double signalReference(const std::vector<float>& scale, double positive, int64_t positiveCount) {
  if (positiveCount == 0) return 0.0;
  const double mean = positive / static_cast<double>(positiveCount) / 100.0;
  const double holding = meanAbove(scale, mean / 8.0, mean);
  return meanAbove(scale, holding / 2.0, holding);
}

}  // namespace

void NoiseModel::apply(float* data, const float* baseline, const NoiseKey& key, int threads) const {
  const NoiseGeometry& g = geometry_;
  const int64_t voxels = g.voxels();
  const std::size_t n = g.volumes;
  SubjectState subject{CounterRandom(key), {}, 0.0f, {}, {}};
  subject.scale.resize(voxels);
  double positive = 0.0;
  int64_t positiveCount = 0;
  for (int64_t v = 0; v < voxels; ++v) {
    double level = 0.0;
    if (baseline) {
      level = baseline[v];
    } else {
      const float* row = data + v * n;
      for (std::size_t t = 0; t < n; ++t) level += row[t];
      level /= static_cast<double>(n);
    }
    subject.scale[v] = static_cast<float>(level / 100.0);
    if (level > 0.0) {
      positive += level;
      ++positiveCount;
    }
  }
  subject.systemSD = static_cast<float>(systemSD_ * signalReference(subject.scale, positive, positiveCount));

  if (globalSD_ > 0.0f) {
    subject.global.assign(paddedLength(n), 0.0f);
    subject.random.gaussians(NoiseStream::Global, {}, 0, n, subject.global.data());
    float state[kMaxArOrder];
    globalAr_.filter(subject.global.data(), n, state, true);
    // The course is scaled to exactly the SD asked for over the run, around 0.
    double sum = 0.0, squares = 0.0;
    for (std::size_t t = 0; t < n; ++t) sum += subject.global[t];
    const double mean = sum / static_cast<double>(n);
    for (std::size_t t = 0; t < n; ++t) squares += (subject.global[t] - mean) * (subject.global[t] - mean);
    const double factor = squares > 0.0 ? globalSD_ / std::sqrt(squares / static_cast<double>(n)) : 0.0;
    for (std::size_t t = 0; t < n; ++t) subject.global[t] = static_cast<float>((subject.global[t] - mean) * factor);
  }
  for (std::size_t i = 0; i < rhythms_.size(); ++i) {
    const PreparedRhythm& rhythm = rhythms_[i];
    std::vector<float> weights(2 * voxels);
    SlabSmoother smoother(g.dimX, g.dimY, rhythm.kernels[0], rhythm.kernels[1], rhythm.kernels[2], 2);
    const auto stream = static_cast<uint32_t>(NoiseStream::RhythmWeights) + static_cast<uint32_t>(i);
    smoother.run(
        0, g.dimZ,
        [&](int xFirst, int y, int z, int count, float* out, std::size_t stride) {
          subject.random.gaussianRow(stream, {xFirst, y, z}, count, 0, 2, out, stride);
        },
        [&](int z, const float* slice) {
          const int64_t sliceVoxels = int64_t{g.dimX} * g.dimY;
          for (int64_t s = 0; s < sliceVoxels; ++s) {
            weights[2 * (z * sliceVoxels + s)] = slice[s * smoother.stride()];
            weights[2 * (z * sliceVoxels + s) + 1] = slice[s * smoother.stride() + 1];
          }
        });
    // Each weight field is scaled to a mean square of exactly 1 over the box, so the
    // rhythm's RMS amplitude is the one asked for in every subject.
    for (int field = 0; field < 2; ++field) {
      double squares = 0.0;
      for (int64_t v = 0; v < voxels; ++v) squares += static_cast<double>(weights[2 * v + field]) * weights[2 * v + field];
      const double factor = squares > 0.0 ? 1.0 / std::sqrt(squares / static_cast<double>(voxels)) : 0.0;
      for (int64_t v = 0; v < voxels; ++v) weights[2 * v + field] = static_cast<float>(weights[2 * v + field] * factor);
    }
    subject.weights.push_back(std::move(weights));
  }

  const int parts = std::clamp(threads, 1, g.dimZ);
  if (parts == 1) {
    applySlab(data, subject, 0, g.dimZ);
    return;
  }
  std::vector<std::thread> workers;
  std::vector<std::exception_ptr> failures(parts);
  for (int part = 0; part < parts; ++part) {
    const int zBegin = g.dimZ * part / parts, zEnd = g.dimZ * (part + 1) / parts;
    workers.emplace_back([&, part, zBegin, zEnd] {
      try {
        applySlab(data, subject, zBegin, zEnd);
      } catch (...) {
        failures[part] = std::current_exception();
      }
    });
  }
  for (std::thread& worker : workers) worker.join();
  for (const std::exception_ptr& failure : failures)
    if (failure) std::rethrow_exception(failure);
}

void NoiseModel::applySlab(float* data, const SubjectState& subject, int zBegin, int zEnd) const {
  const NoiseGeometry& g = geometry_;
  const std::size_t n = g.volumes;
  if (!tissue_) {
    for (std::size_t first = 0; first < n; first += chunk_)
      for (int z = zBegin; z < zEnd; ++z) finishSlice(data, subject, z, first, std::min(chunk_, n - first), nullptr, 0);
    return;
  }
  const LatticeKernel* k = tissueKernels_;
  SlabSmoother smoother(g.dimX, g.dimY, k[0], k[1], k[2], chunk_);
  const int p = tissueAr_.order();
  const int wideX = g.dimX + 2 * k[0].radius, wideY = g.dimY + 2 * k[1].radius;
  const int zLow = zBegin - k[2].radius;
  std::vector<float> states(static_cast<std::size_t>(p) * wideX * wideY * (zEnd - zBegin + 2 * k[2].radius));
  for (std::size_t first = 0; first < n; first += chunk_) {
    const std::size_t length = std::min(chunk_, n - first);
    smoother.run(
        zBegin, zEnd,
        [&](int xFirst, int y, int z, int count, float* out, std::size_t stride) {
          subject.random.gaussianRow(NoiseStream::Tissue, {xFirst, y, z}, count, first, length, out, stride);
          if (p == 0) return;
          const std::size_t index =
              ((static_cast<std::size_t>(z - zLow) * wideY + (y + k[1].radius)) * wideX + (xFirst + k[0].radius)) * p;
          tissueAr_.filterSeries(out, stride, count, length, &states[index], first == 0);
        },
        [&](int z, const float* slice) { finishSlice(data, subject, z, first, length, slice, smoother.stride()); });
  }
}

// Adds every component to volumes first .. first + length - 1 of slice z: the
// percent components summed into one run, scaled by the voxel's baseline, then the
// system noise.
void NoiseModel::finishSlice(float* data, const SubjectState& subject, int z, std::size_t first,
                             std::size_t length, const float* tissue, std::size_t stride) const {
  const NoiseGeometry& g = geometry_;
  const std::size_t n = g.volumes;
  const std::size_t width = paddedLength(length);
  const std::size_t basisRow = paddedLength(n);
  const std::size_t driftWidth = paddedLength(driftOrders_);
  std::vector<float> added(width), real(g.dimX * width), imaginary(rician_ ? g.dimX * width : 0);
  std::vector<float> drift(g.dimX * driftWidth);
  std::vector<const float*> parts;
  std::vector<float> weights;
  const bool system = subject.systemSD > 0.0f;
  for (int y = 0; y < g.dimY; ++y) {
    // The deviates of a whole row of voxels at once.
    if (driftOrders_ > 0)
      subject.random.gaussianRow(NoiseStream::Drift, {0, y, z}, g.dimX, 0, driftOrders_, drift.data(), driftWidth);
    if (system)
      subject.random.gaussianRow(NoiseStream::SystemReal, {0, y, z}, g.dimX, first, length, real.data(), width);
    if (rician_)
      subject.random.gaussianRow(NoiseStream::SystemImaginary, {0, y, z}, g.dimX, first, length, imaginary.data(),
                                 width);
    for (int x = 0; x < g.dimX; ++x) {
      const int64_t v = x + int64_t{g.dimX} * (y + int64_t{g.dimY} * z);
      parts.clear();
      weights.clear();
      if (tissue) {
        parts.push_back(tissue + (static_cast<std::size_t>(y) * g.dimX + x) * stride);
        weights.push_back(tissueSD_);
      }
      for (int k = 0; k < driftOrders_; ++k) {
        parts.push_back(&driftBasis_[k * basisRow + first]);
        weights.push_back(driftScale_ * drift[x * driftWidth + k]);
      }
      for (std::size_t i = 0; i < rhythms_.size(); ++i) {
        const float* w = &subject.weights[i][2 * v];
        parts.insert(parts.end(), {&rhythms_[i].cosine[first], &rhythms_[i].sine[first]});
        weights.insert(weights.end(), {rhythms_[i].amplitude * w[0], rhythms_[i].amplitude * w[1]});
      }
      if (!subject.global.empty()) {
        parts.push_back(&subject.global[first]);
        weights.push_back(1.0f);
      }
      float* row = data + v * n + first;
      const float* realRow = &real[x * width];
      if (!parts.empty()) {
        rows::weightedSum(added.data(), parts.data(), weights.data(), static_cast<int>(parts.size()), width);
        rows::addTwoScaled(row, added.data(), subject.scale[v], system ? realRow : nullptr, subject.systemSD, length);
      } else if (system) {
        rows::addTwoScaled(row, realRow, subject.systemSD, nullptr, 0.0f, length);
      }
      if (rician_) rows::magnitude(row, &imaginary[x * width], subject.systemSD, length);
    }
  }
}

}  // namespace cohortix::host::noise
