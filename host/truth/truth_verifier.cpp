#include "host/truth/truth_verifier.h"

#include <cmath>
#include <cstring>
#include <sstream>

namespace cohortix::host::truth {
namespace {

// Bit for bit: the replay runs the plug-in's own model, so a value that differs in
// its last bit differs.
bool same(float a, float b) { return std::memcmp(&a, &b, sizeof a) == 0; }

std::string text(float value) {
  std::ostringstream out;
  out.precision(9);
  out << value;
  return out.str();
}

Status differs(const std::string& what, float reported, float replayed) {
  return Status::error(what + " is " + text(reported) + " in the report, " + text(replayed) +
                       " in the replay");
}

Status compareLevels(const SubjectLevels& reported, const SubjectLevels& replayed) {
  if (!same(reported.Baseline, replayed.Baseline))
    return differs("the subject's baseline", reported.Baseline, replayed.Baseline);
  if (!same(reported.OnePercent, replayed.OnePercent))
    return differs("the subject's one percent", reported.OnePercent, replayed.OnePercent);
  if (!same(reported.NoiseSD, replayed.NoiseSD))
    return differs("the subject's noise SD", reported.NoiseSD, replayed.NoiseSD);
  return Status::ok();
}

Status compareRegion(std::size_t r, const RegionComponents& reported,
                     const RegionComponents& replayed) {
  const std::string region = "region " + std::to_string(r + 1);
  if (reported.effects.size() != replayed.effects.size())
    return Status::error(region + " has " + std::to_string(reported.effects.size()) +
                         " effects in the report, " + std::to_string(replayed.effects.size()) +
                         " in the replay");
  for (std::size_t p = 0; p < reported.effects.size(); ++p)
    if (!same(reported.effects[p].received, replayed.effects[p].received) ||
        !same(reported.effects[p].tableValue, replayed.effects[p].tableValue))
      return differs("the effect of cell " + std::to_string(p + 1) + " in " + region,
                     reported.effects[p].received, replayed.effects[p].received);
  const VoxelIndex& a = reported.placement.Centre;
  const VoxelIndex& b = replayed.placement.Centre;
  if (a.X != b.X || a.Y != b.Y || a.Z != b.Z)
    return Status::error("the centre of " + region + " differs between the report and the replay");
  if (reported.voxels != replayed.voxels)
    return Status::error("the voxels of " + region + " differ between the report and the replay");
  return Status::ok();
}

}  // namespace

Status compareComponents(const SubjectComponents& reported, const SubjectComponents& replayed) {
  if (reported.pluginGroup != replayed.pluginGroup ||
      reported.pluginSubject != replayed.pluginSubject)
    return Status::error("the report is of another subject than the replay");
  if (Status levels = compareLevels(reported.levels, replayed.levels); !levels) return levels;
  if (reported.regions.size() != replayed.regions.size())
    return Status::error(std::to_string(reported.regions.size()) + " regions in the report, " +
                         std::to_string(replayed.regions.size()) + " in the replay");
  for (std::size_t r = 0; r < reported.regions.size(); ++r)
    if (Status region = compareRegion(r, reported.regions[r], replayed.regions[r]); !region)
      return region;
  if (reported.voxelBaseline.size() != replayed.voxelBaseline.size())
    return Status::error("the report and the replay hold different numbers of voxels");
  for (std::size_t v = 0; v < reported.voxelBaseline.size(); ++v)
    if (!same(reported.voxelBaseline[v], replayed.voxelBaseline[v]))
      return differs("the baseline of voxel " + std::to_string(v), reported.voxelBaseline[v],
                     replayed.voxelBaseline[v]);
  if (reported.finalRegion != replayed.finalRegion)
    return Status::error("the voxels' regions differ between the report and the replay");
  return Status::ok();
}

TruthVerifier::TruthVerifier(const SimulationDesign& pluginDesign) : replay_(pluginDesign) {}

TruthVerifier::~TruthVerifier() {
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  changed_.notify_all();
  if (worker_.joinable()) worker_.join();
}

// On the plug-in's thread: the checksum of its data before any stage, and what
// the replay needs; the replay itself on the verifier's thread.
void TruthVerifier::pluginSaved(const std::string& vtcName, const DesignMatrix& matrix,
                                const VTCHeader& header, std::span<const float> data,
                                const std::shared_ptr<SubjectComponents>& components) {
  Pending pending{vtcName, matrix, header, checksumOf(data), components};
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    pending_.push_back(std::move(pending));
  }
  changed_.notify_all();
  if (!worker_.joinable()) worker_ = std::thread([this] { work(); });
}

void TruthVerifier::work() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    changed_.wait(lock, [&] { return stopping_ || !pending_.empty(); });
    if (stopping_) return;
    const Pending pending = std::move(pending_.front());
    pending_.pop_front();
    busy_ = true;
    lock.unlock();
    // Once the stream is lost every later replay fails for that one reason, which
    // the subject where it was lost has said.
    const bool lostBefore = replay_.lost();
    const Status verified = verify(pending);
    lock.lock();
    ++replayed_;
    if (verified)
      ++verified_;
    else if (!lostBefore)
      failures_.notWritten("the ground truth of " + pending.vtcName,
                           verified.context("the ground truth of " + pending.vtcName +
                                            " does not hold"));
    busy_ = false;
    changed_.notify_all();
  }
}

Status TruthVerifier::verify(const Pending& pending) {
  const Status replayed =
      replay_.replayNext(pending.matrix, pending.header, pending.data, replayedSubject_);
  if (!replayed) return replayed.context("its replay fails");
  if (pending.reported == nullptr) return Status::error("the plug-in reported nothing of it");
  return compareComponents(*pending.reported, replayedSubject_);
}

void TruthVerifier::finishSubjects(SubjectOutcomes& outcomes) {
  std::unique_lock<std::mutex> lock(mutex_);
  changed_.wait(lock, [&] { return pending_.empty() && !busy_; });
  outcomes.append(std::move(failures_));
  failures_ = {};
}

}  // namespace cohortix::host::truth
