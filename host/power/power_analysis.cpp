#include "host/power/power_analysis.h"

#include <algorithm>
#include <cstdlib>
#include <thread>
#include <ostream>
#include <streambuf>

#include "host/loader/plugin_run.h"
#include "host/noise/noise_stage.h"
#include "host/power/discarding_disk.h"
#include "host/analysis/asked_regions.h"
#include "host/anatomy/anatomy_stage.h"
#include "host/power/replicated_study.h"
#include "host/io/private_folder.h"
#include "host/session/host_session.h"

namespace cohortix::host {
namespace {

// The plug-in simulates on one core and the analysis runs on the writer's; the
// noise may have what is left, and at least one.
int noiseThreads() {
  const unsigned cores = std::thread::hardware_concurrency();
  return std::max(1, static_cast<int>(cores) - 2);
}

// The plug-in's log lines would bury the table: a stream that drops them.
class NullBuffer : public std::streambuf {
 protected:
  int overflow(int c) override { return traits_type::not_eof(c); }
  std::streamsize xsputn(const char* /*s*/, std::streamsize n) override { return n; }
};

Status runFailure(const PluginRunResult& result, const HostSession& session) {
  std::string why;
  switch (result.outcome) {
    case PluginRunOutcome::Completed: return Status::ok();
    case PluginRunOutcome::Failed: why = "the simulation failed"; break;
    case PluginRunOutcome::Refused: why = "the plug-in refused to start"; break;
    case PluginRunOutcome::Unavailable: why = "the plug-in could not be loaded: " + result.error; break;
  }
  if (!session.messagesShown().empty()) why += " (" + session.messagesShown().back() + ")";
  return Status::error(why);
}

// One run of the plug-in for the given sample sizes: groups of the largest size
// times the replicates.
Status runSizes(const PowerOptions& options, const std::vector<int32_t>& sizes, std::ostream& messages,
                PowerResult& result) {
  Result<PrivateFolder> folder = PrivateFolder::make(options.scratch, "cohortix-power");
  if (!folder) return folder.status();
  RealDiskInterface disk;
  const int32_t largest = *std::max_element(sizes.begin(), sizes.end());
  Result<ReplicatedStudy> study =
      replicateStudy(options.controlFile, largest, options.replicates, folder->path(), disk);
  if (!study) return study.status();
  const SimulationDesign& design = *study->design;
  const AskedRegions truth(design, largest);
  SessionOptions session;
  session.controlFile = study->controlFile;
  session.outputDir = folder->path() / "output";
  session.repetitionTime = options.repetitionTime;
  session.showProgress = options.showProgress;
  session.study = runOrderOf(design);
  std::unique_ptr<noise::NoiseStage> noise;
  if (options.noise) {
    Result<noise::NoiseModel> model =
        noise::NoiseModel::prepare(*options.noise, noise::geometryOfStudy(design, options.repetitionTime));
    if (!model) return model.status().context("cannot add the noise to " + options.controlFile.filename().string());
    noise = std::make_unique<noise::NoiseStage>(std::move(model).value(), options.noise->pluginNoise,
                                                options.noiseSeed, 0, noiseThreads(), messages);
  }
  // The analytic column models the plug-in's own data: neither anatomy nor noise.
  PowerSink sink(design, truth,
                 {sizes, options.replicates, options.analysis,
                  options.noise.has_value() || options.anatomy.has_value(), options.receivedRegions});
  std::optional<anatomy::VTCAnatomy> onVTC;
  std::optional<anatomy::Composition> composition;
  std::optional<anatomy::AnatomyStage> anatomyStage;
  if (options.anatomy) {
    onVTC.emplace(anatomy::anatomyOnVTC(*options.anatomy, vtcBoxOf(design)));
    // Where the host's noise takes the plug-in's place, the anatomy composes the
    // data without it and the noise goes on at the composed baseline.
    const bool replaced = noise != nullptr && noise->replacesPluginNoise();
    composition.emplace(*onVTC, options.signalIn, !replaced);
    anatomyStage.emplace(*composition);
    if (replaced)
      noise->takeRecomposedData([&composition](const SavedSubject& subject) {
        return composition->composedBaseline(*subject.components);
      });
  }
  NullBuffer dropped;
  std::ostream log(&dropped);
  DiscardingDisk nowhere;
  HostSession host(session, log, messages, nowhere);
  if (anatomyStage) host.output().addStage(*anatomyStage);
  if (noise) host.output().addStage(*noise);
  host.output().addSink(sink);
  const PluginRunResult run = runPlugin(options.plugin, host);
  host.finish();
  if (Status failed = runFailure(run, host); !failed) return failed;
  if (!sink.status()) return sink.status();
  if (sink.replicatesScored() != options.replicates)
    return Status::error("the run ended after " + std::to_string(sink.replicatesScored()) + " of " +
                         std::to_string(options.replicates) + " replicates");
  for (PowerRow& row : sink.rows()) result.rows.push_back(std::move(row));
  result.subjectsSimulated += int64_t{largest} * options.replicates * design.NrOfGroups;
  result.runs += 1;
  return Status::ok();
}

std::string sizesText(const std::vector<int32_t>& sizes) {
  std::string text;
  for (int32_t n : sizes) text += (text.empty() ? "" : ",") + std::to_string(n);
  return text + " subjects per group";
}

}  // namespace

bool oneRunServesEverySize(const SimulationDesign& design) {
  return design.NrOfGroups == 1 && (design.EffectsPerGroup || design.NrOfRegions == 0);
}

Result<PowerResult> runPowerAnalysis(const PowerOptions& options, std::ostream& messages) {
  if (options.sampleSizes.empty()) return Status::error("expected at least one sample size");
  Result<std::unique_ptr<SimulationDesign>> base = readStudyDesign(options.controlFile);
  if (!base) return base.status();
  std::vector<std::vector<int32_t>> runs;
  if (oneRunServesEverySize(*base.value()))
    runs.push_back(options.sampleSizes);
  else
    for (int32_t subjects : options.sampleSizes) runs.push_back({subjects});
  PowerResult result;
  for (const std::vector<int32_t>& sizes : runs)
    if (Status done = runSizes(options, sizes, messages, result); !done)
      return std::move(done).context(sizesText(sizes));
  return result;
}

}  // namespace cohortix::host
