#include "host/power/power_analysis.h"

#include <algorithm>
#include <atomic>
#include <memory>
#include <new>
#include <optional>
#include <span>
#include <vector>
#include <ostream>
#include <thread>

#include "host/analysis/asked_regions.h"
#include "host/anatomy/anatomy_stage.h"
#include "host/io/disk_interface.h"
#include "host/io/private_folder.h"
#include "host/noise/noise_stage.h"
#include "host/power/replicate_stream.h"
#include "host/power/replicate_subjects.h"
#include "host/power/replicated_study.h"
#include "host/session/progress.h"

namespace cohortix::host {
namespace {

// One set of replicates: the study of the largest of its sizes, and the truth the
// replicates are scored against.
struct ReplicateSet {
  std::vector<int32_t> sizes;
  ReplicatedStudy study;
  std::unique_ptr<AskedRegions> truth;
};

// What the threads share, read only but for the job counter, the progress line
// and the first failure.
struct SharedWork {
  const PowerOptions& options;
  std::vector<ReplicateSet>& sets;
  const noise::NoiseStage* noise;  // the prototype each thread copies
  anatomy::AnatomyStage* anatomy;  // keeps no state of its own: shared
  Progress& progress;
  // Per set, the sink whose tallies every thread's sink for the set shares.
  const std::vector<PowerSink>& scoring;
  ReplicateRange range;  // the replicates of this process's block
  std::atomic<int64_t> nextJob{0};
  std::atomic<bool> failed{false};
  int64_t jobs() const { return static_cast<int64_t>(sets.size()) * range.count; }
};

// One thread's share: a sink per set of replicates (their tallies shared), and
// its own noise stage.
struct Worker {
  std::vector<PowerSink> sinks;
  std::optional<noise::NoiseStage> noise;
  Status status;
  int64_t failedJob = -1;
};

PowerSinkSettings sinkSettings(const PowerOptions& options, const std::vector<int32_t>& sizes) {
  const ReplicateRange range = replicateRangeOf(options.block, options.replicates);
  // The analytic column models the plug-in's own data: neither anatomy nor noise.
  return {sizes,
          range.first,
          range.count,
          options.keepScores,
          options.analysis,
          options.noise.has_value() || options.anatomy.has_value(),
          options.receivedRegions};
}

Status runJob(SharedWork& shared, Worker& worker, int64_t job, std::vector<ReplicateSubjects>& makers) {
  const auto set = static_cast<std::size_t>(job / shared.range.count);
  const auto replicate = shared.range.first + static_cast<int32_t>(job % shared.range.count);
  PowerSink& sink = worker.sinks[set];
  if (worker.noise) worker.noise->setReplicate(static_cast<uint32_t>(replicate));
  SubjectOutcomes none;
  return makers[set].make(replicate, [&](const SavedSubject& subject, std::span<float> data) -> Status {
    if (shared.failed.load()) return Status::cancelled();
    try {
      if (shared.anatomy != nullptr) shared.anatomy->prepare(subject, data);
      if (worker.noise) worker.noise->prepare(subject, data);
    } catch (const std::exception& e) {
      return Status::error(subject.files.vtc + ": " + e.what());
    }
    sink.add(subject, replicate);
    shared.progress.noteSimulated(static_cast<uint64_t>(data.size()));
    shared.progress.subjectSaved(subject, none);
    return sink.status();
  });
}

void takeJobs(SharedWork& shared, Worker& worker) {
  std::vector<ReplicateSubjects> makers;
  for (std::size_t s = 0; s < shared.sets.size(); ++s) {
    const ReplicateSet& set = shared.sets[s];
    makers.emplace_back(*set.study.design, shared.options.repetitionTime);
    worker.sinks.emplace_back(*set.study.design, *set.truth, sinkSettings(shared.options, set.sizes));
    worker.sinks.back().shareScoresWith(shared.scoring[s]);
  }
  if (shared.noise != nullptr) worker.noise.emplace(*shared.noise);
  for (int64_t job = shared.nextJob++; job < shared.jobs() && !shared.failed.load(); job = shared.nextJob++) {
    if (Status done = runJob(shared, worker, job, makers); !done && !done.isCancelled()) {
      worker.status = std::move(done);
      worker.failedJob = job;
      shared.failed = true;
    }
  }
}

// A thread that runs out of memory fails the analysis, saying so, rather than the
// process.
void work(SharedWork& shared, Worker& worker) {
  try {
    takeJobs(shared, worker);
  } catch (const std::bad_alloc&) {
    worker.status = Status::error("not enough memory");
    worker.failedJob = std::max<int64_t>(worker.failedJob, 0);
    shared.failed = true;
  }
}

std::string sizesText(const std::vector<int32_t>& sizes) {
  std::string text;
  for (int32_t n : sizes) text += (text.empty() ? "" : ",") + std::to_string(n);
  return text + " subjects per group";
}

Result<std::vector<ReplicateSet>> replicateSets(const PowerOptions& options, const SimulationDesign& base,
                                                const std::filesystem::path& folder) {
  std::vector<std::vector<int32_t>> sizes;
  if (oneRunServesEverySize(base))
    sizes.push_back(options.sampleSizes);
  else
    for (int32_t subjects : options.sampleSizes) sizes.push_back({subjects});
  std::vector<ReplicateSet> sets;
  RealDiskInterface disk;
  for (std::vector<int32_t>& these : sizes) {
    const int32_t largest = *std::max_element(these.begin(), these.end());
    const std::filesystem::path own = folder / std::to_string(sets.size());
    if (Status made = disk.makeDirs(own); !made) return made;
    Result<ReplicatedStudy> study = replicateStudy(options.controlFile, largest, 1, own, disk);
    if (!study) return study.status().context(sizesText(these));
    ReplicateSet set{std::move(these), std::move(study).value(), nullptr};
    set.truth = std::make_unique<AskedRegions>(*set.study.design, largest);
    sets.push_back(std::move(set));
  }
  return sets;
}

// The table of every set, in the order of the sets, from the tallies the threads
// shared.
Result<PowerResult> combine(const PowerOptions& options, std::vector<ReplicateSet>& sets,
                            std::vector<PowerSink>& scoring, std::vector<Worker>& workers) {
  const ReplicateRange range = replicateRangeOf(options.block, options.replicates);
  const Worker* failed = nullptr;
  for (const Worker& worker : workers)
    if (!worker.status && (failed == nullptr || worker.failedJob < failed->failedJob)) failed = &worker;
  if (failed != nullptr)
    return Status(failed->status)
        .context(sizesText(sets[static_cast<std::size_t>(failed->failedJob / range.count)].sizes));
  PowerResult result;
  for (std::size_t s = 0; s < sets.size(); ++s) {
    PowerSink& sink = scoring[s];
    for (Worker& worker : workers) sink.absorb(std::move(worker.sinks[s]));
    if (!sink.status()) return Status(sink.status()).context(sizesText(sets[s].sizes));
    if (sink.replicatesScored() != range.count)
      return Status::error("only " + std::to_string(sink.replicatesScored()) + " of " +
                           std::to_string(range.count) + " replicates were scored")
          .context(sizesText(sets[s].sizes));
    for (PowerRow& row : sink.rows()) result.rows.push_back(std::move(row));
    for (std::vector<ReplicateScores>& kept : sink.keptScores()) result.scores.push_back(std::move(kept));
    const int32_t largest = *std::max_element(sets[s].sizes.begin(), sets[s].sizes.end());
    result.subjectsSimulated += int64_t{largest} * range.count * sets[s].study.design->NrOfGroups;
    result.runs += 1;
  }
  return result;
}

}  // namespace

bool oneRunServesEverySize(const SimulationDesign& design) {
  return design.NrOfGroups == 1 && (design.EffectsPerGroup || design.NrOfRegions == 0);
}

int32_t powerThreads(int32_t jobs) {
  if (jobs > 0) return jobs;
  return static_cast<int32_t>(std::max(1U, std::thread::hardware_concurrency()));
}

ReplicateOverlap replicateOverlapOf(const SimulationDesign& design, const PowerOptions& options) {
  ReplicateOverlap overlap;
  const int32_t largest =
      options.sampleSizes.empty() ? 0 : *std::max_element(options.sampleSizes.begin(), options.sampleSizes.end());
  overlap.uniformsPerReplicate = uniformsPerReplicate(design, largest);
  overlap.spacing = replicateSpacing(options.replicates);
  return overlap;
}

Result<PowerResult> runPowerAnalysis(const PowerOptions& options, std::ostream& messages) {
  if (options.sampleSizes.empty()) return Status::error("expected at least one sample size");
  if (options.replicates < 1) return Status::error("expected at least one replicate");
  if (options.block.index < 1 || options.block.index > options.block.count ||
      options.block.count > options.replicates)
    return Status::error("expected a block K/B with 1 <= K <= B and no more blocks than the " +
                         std::to_string(options.replicates) + " replicates, found " +
                         replicateBlockText(options.block));
  const ReplicateRange range = replicateRangeOf(options.block, options.replicates);
  Result<std::unique_ptr<SimulationDesign>> base = readStudyDesign(options.controlFile);
  if (!base) return base.status();
  Result<PrivateFolder> folder = PrivateFolder::make(options.scratch, "cohortix-power");
  if (!folder) return folder.status();
  Result<std::vector<ReplicateSet>> made = replicateSets(options, *base.value(), folder->path());
  if (!made) return made.status();
  std::vector<ReplicateSet>& sets = made.value();
  const SimulationDesign& design = *sets.front().study.design;
  const int32_t threads = static_cast<int32_t>(
      std::min<int64_t>(powerThreads(options.jobs), static_cast<int64_t>(sets.size()) * range.count));
  std::optional<noise::NoiseStage> noise;
  if (options.noise) {
    Result<noise::NoiseModel> model =
        noise::NoiseModel::prepare(*options.noise, noise::geometryOfStudy(design, options.repetitionTime));
    if (!model) return model.status().context("cannot add the noise to " + options.controlFile.filename().string());
    const int cores = static_cast<int>(std::max(1U, std::thread::hardware_concurrency()));
    noise.emplace(std::move(model).value(), options.noise->pluginNoise, options.noiseSeed, 0,
                  std::max(1, cores / threads), messages);
  }
  std::optional<anatomy::VTCAnatomy> onVTC;
  std::optional<anatomy::Composition> composition;
  std::optional<anatomy::AnatomyStage> anatomyStage;
  if (options.anatomy) {
    onVTC.emplace(anatomy::anatomyOnVTC(*options.anatomy, vtcBoxOf(design)));
    // Where the host's noise takes the plug-in's place, the anatomy composes the
    // data without it and the noise goes on at the composed baseline.
    const bool replaced = noise && noise->replacesPluginNoise();
    composition.emplace(*onVTC, options.signalIn, !replaced);
    anatomyStage.emplace(*composition);
    if (replaced)
      noise->takeRecomposedData([&composition](const SavedSubject& subject) {
        return composition->composedBaseline(*subject.components);
      });
  }
  int64_t subjects = 0;
  for (const ReplicateSet& set : sets)
    subjects += int64_t{set.study.subjects} * set.study.design->NrOfGroups * range.count;
  Progress progress(messages, options.showProgress, static_cast<int>(std::min<int64_t>(subjects, INT32_MAX)));
  progress.tick(std::chrono::milliseconds(250));
  std::vector<PowerSink> scoring;
  for (const ReplicateSet& set : sets) scoring.emplace_back(*set.study.design, *set.truth, sinkSettings(options, set.sizes));
  SharedWork shared{options, sets, noise ? &*noise : nullptr, anatomyStage ? &*anatomyStage : nullptr, progress,
                    scoring, range};
  std::vector<Worker> workers(static_cast<std::size_t>(threads));
  {
    std::vector<std::jthread> running;
    for (std::size_t w = 1; w < workers.size(); ++w) running.emplace_back([&shared, &workers, w] { work(shared, workers[w]); });
    work(shared, workers.front());
  }
  progress.finish();
  return combine(options, sets, scoring, workers);
}

}  // namespace cohortix::host
