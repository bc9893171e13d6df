#include "host/truth/ground_truth.h"

#include <algorithm>
#include <system_error>

#include "host/export/bids_names.h"
#include "host/export/export_file.h"
#include "host/io/plain_file_name.h"
#include "host/truth/truth_images.h"

namespace cohortix::host::truth {
namespace {

namespace fs = std::filesystem;

std::string stemOf(const std::string& name) { return fs::path(name).stem().string(); }

const char* niftiEnding(bool gzip) { return gzip ? ".nii.gz" : ".nii"; }

void attempt(SubjectOutcomes& outcomes, const Status& written) {
  if (!written) outcomes.notWritten(written.file(), written);
}

}  // namespace

GroundTruth::GroundTruth(const SimulationDesign& design, TruthSetting setting,
                         DiskInterface& disk, std::ostream& messages)
    : experiment_(design.ExperimentName),
      task_(bidsTaskLabel(design.ExperimentName)),
      largestSubjectNumber_(design.NrOfSubjects),
      setting_(std::move(setting)),
      disk_(disk),
      messages_(messages),
      replay_(design),
      groups_(static_cast<std::size_t>(std::max(design.NrOfGroups, 0))) {}

GroundTruth::~GroundTruth() {
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  changed_.notify_all();
  if (worker_.joinable()) worker_.join();
}

// Before any other stage: the data are still the plug-in's own, which only a
// replay needs.
void GroundTruth::prepare(const SavedSubject& subject, std::span<float> data) {
  if (subject.components != nullptr) return;
  take(subject, data);
  takenAhead_ = true;
}

void GroundTruth::subjectSaved(const SavedSubject& subject, SubjectOutcomes& outcomes) {
  // Not a stage: no stage changes the data.
  if (!takenAhead_) take(subject, subject.data);
  takenAhead_ = false;
  handOver(outcomes);
}

// For a replay the checksum now, while the data are the plug-in's; the replay
// later, on the truth's own thread, which keeps no copy of the data.
void GroundTruth::take(const SavedSubject& subject, std::span<const float> data) {
  const bool replayed = subject.components == nullptr;
  if (replayed && !fallbackSaid_) {
    fallbackSaid_ = true;
    messages_ << "cohortix: " << kReplayFallbackMessage << '\n';
  }
  Pending pending{subject, replayed ? checksumOf(data) : DataChecksum{}};
  pending.subject.data = {};
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    pending_.push_back(std::move(pending));
  }
  changed_.notify_all();
  if (worker_.joinable()) return;
  try {
    worker_ = std::thread([this] { work(true); });
  } catch (const std::system_error&) {
    work(false);  // no thread to be had: the replay runs here and now
  }
}

// On a thread of its own the loop waits for subjects until the truth goes away;
// otherwise it returns once nothing is left to replay.
void GroundTruth::work(bool ownThread) {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    changed_.wait(lock, [&] { return stopping_ || !pending_.empty() || !ownThread; });
    if (stopping_ || pending_.empty()) return;
    const Pending pending = std::move(pending_.front());
    pending_.pop_front();
    busy_ = true;
    lock.unlock();
    SubjectOutcomes outcomes;
    truthOf(pending, outcomes);
    lock.lock();
    written_.append(std::move(outcomes));
    busy_ = false;
    changed_.notify_all();
  }
}

void GroundTruth::handOver(SubjectOutcomes& outcomes) {
  const std::lock_guard<std::mutex> lock(mutex_);
  outcomes.append(std::move(written_));
  written_ = {};
}

void GroundTruth::finishSubjects(SubjectOutcomes& outcomes) {
  {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [&] { return !worker_.joinable() || (pending_.empty() && !busy_); });
  }
  handOver(outcomes);
}

// False when the subject cannot be replayed (said for the first such subject).
bool GroundTruth::replaySubject(const Pending& pending) {
  const SavedSubject& subject = pending.subject;
  const bool wasLost = replay_.lost();
  const Status replayed = replay_.replay(subject, pending.data, truth_);
  if (!replayed && !wasLost)
    messages_ << "cohortix: " + std::string(kNoReplayMessage) + " (" + subject.files.vtc + ": " +
                     replayed.message() + ")\n";
  return replayed.isOk();
}

void GroundTruth::truthOf(const Pending& pending, SubjectOutcomes& outcomes) {
  const SavedSubject& subject = pending.subject;
  if (subject.components != nullptr)
    truth_ = *subject.components;
  else if (!replaySubject(pending))
    return;
  if (setting_.recompose) setting_.recompose(truth_);
  box_ = boxOfHeader(subject.header);
  if (!subject.protocolSaved) return;
  if (table_.empty()) cells_ = truth_.cellNames;
  table_ += truthTableRows(truth_, talairachAffine(box_));
  addToGroup();
  if (setting_.nativeFiles) writeNative(subject, outcomes);
  if (!setting_.bidsDir.empty()) writeBids(subject, outcomes);
}

void GroundTruth::writeNative(const SavedSubject& subject, SubjectOutcomes& outcomes) {
  const std::string stem = stemOf(subject.files.vtc);
  const auto beside = [&](const std::string& suffix) {
    return resolveOutputName(setting_.outputDir, stem + suffix);
  };
  const std::string nii = niftiEnding(setting_.gzip);
  attempt(outcomes, writeExportText(disk_, beside("_truth.json"),
                                    subjectTruthJson(truth_, experiment_, talairachAffine(box_),
                                                     setting_.noise, setting_.placeOf, ownAnatomyJson())));
  attempt(outcomes, writeSubjectEffects(disk_, beside("_truth_effects" + nii), box_, truth_));
  attempt(outcomes, writeSubjectRegions(disk_, beside("_truth_regions" + nii), box_, truth_));
  attempt(outcomes, writeSubjectBaseline(disk_, beside("_truth_baseline" + nii), box_, truth_));
}

// Under derivatives/cohortix, beside the subject's design table, with the
// derivative entities: the Talairach space and what each image describes.
void GroundTruth::writeBids(const SavedSubject& subject, SubjectOutcomes& outcomes) {
  const std::string label = bidsSubjectLabel(subject.subjectNumber, largestSubjectNumber_);
  const fs::path folder =
      setting_.bidsDir / "derivatives" / "cohortix" / bidsSubjectId(label) / "func";
  const Status made = makeExportFolder(disk_, folder);
  if (!made) return attempt(outcomes, made);
  const std::string stem = bidsFunctionalStem(label, task_) + "_space-Talairach";
  const std::string nii = niftiEnding(setting_.gzip);
  attempt(outcomes, writeExportText(disk_, folder / (stem + "_desc-truth_summary.json"),
                                    subjectTruthJson(truth_, experiment_, talairachAffine(box_),
                                                     setting_.noise, setting_.placeOf, ownAnatomyJson())));
  attempt(outcomes,
          writeSubjectEffects(disk_, folder / (stem + "_desc-effects_truth" + nii), box_, truth_));
  attempt(outcomes,
          writeSubjectRegions(disk_, folder / (stem + "_desc-regions_dseg" + nii), box_, truth_));
  attempt(outcomes, writeExportText(disk_, folder / (stem + "_desc-regions_dseg.tsv"),
                                    labelTableTsv(truth_.regions.size())));
  attempt(outcomes, writeSubjectBaseline(disk_, folder / (stem + "_desc-baseline_truth" + nii),
                                         box_, truth_));
}

void GroundTruth::addToGroup() {
  const auto g = static_cast<std::size_t>(truth_.groupNumber - 1);
  if (g >= groups_.size() || truth_.cellNames != cells_) return;
  GroupSum& group = groups_[g];
  const std::size_t voxels = truth_.finalRegion.size();
  if (group.effects.empty()) group.effects.assign(truth_.cells() * voxels, 0.0);
  if (group.effects.size() != truth_.cells() * voxels) return;
  for (std::size_t p = 0; p < truth_.cells(); ++p)
    for (std::size_t v = 0; v < voxels; ++v) group.effects[p * voxels + v] += truth_.effectAt(v, p);
  ++group.subjects;
}

void GroundTruth::writeGroups(const std::function<fs::path(int32_t)>& fileOfGroup,
                              SubjectOutcomes& outcomes) {
  for (std::size_t g = 0; g < groups_.size(); ++g) {
    const GroupSum& group = groups_[g];
    if (group.subjects == 0) continue;
    std::vector<float> mean(group.effects.size());
    for (std::size_t i = 0; i < mean.size(); ++i)
      mean[i] = static_cast<float>(group.effects[i] / group.subjects);
    attempt(outcomes, writeEffectImage(disk_, fileOfGroup(static_cast<int32_t>(g + 1)), box_,
                                       cells_, mean, "group mean true effect, percent"));
  }
}

// The study's table and group means, once every subject was replayed.
void GroundTruth::runFinished(SubjectOutcomes& outcomes) {
  finishSubjects(outcomes);
  if ((fallbackSaid_ && replay_.lost()) || table_.empty()) return;
  const std::string nii = niftiEnding(setting_.gzip);
  const std::string table = truthTableHeader() + table_;
  if (setting_.nativeFiles) {
    attempt(outcomes,
            writeExportText(disk_, resolveOutputName(setting_.outputDir, experiment_ + "_truth.tsv"),
                            table));
    writeGroups(
        [&](int32_t g) {
          return resolveOutputName(setting_.outputDir, experiment_ + "_G" + std::to_string(g) +
                                                           "_truth_effects" + nii);
        },
        outcomes);
  }
  if (!setting_.bidsDir.empty()) {
    const fs::path folder = setting_.bidsDir / "derivatives" / "cohortix";
    attempt(outcomes, writeExportText(disk_, folder / ("task-" + task_ + "_desc-truth_table.tsv"),
                                      table));
    writeGroups(
        [&](int32_t g) {
          return folder / ("task-" + task_ + "_space-Talairach_desc-group" + std::to_string(g) +
                           "effects_truth" + nii);
        },
        outcomes);
  }
}

}  // namespace cohortix::host::truth
