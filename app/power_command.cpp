// cohortix power STUDY.cxd: how often a study of each sample size finds its
// regions, by simulating replicate studies and analysing them in memory.

#include <CLI/CLI.hpp>

#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <memory>
#include <optional>
#include <string_view>

#include "app/command.h"
#include "control/control_file_reader.h"
#include "app/command_record.h"
#include "app/group_threshold_options.h"
#include "app/interrupted_run.h"
#include "app/interruption_watcher.h"
#include "host/anatomy/anatomy_cache.h"
#include "host/motion/acquisition_profile.h"
#include "host/analysis/map_threshold.h"
#include "host/documents/two_gamma_hrf.h"
#include "host/io/disk_interface.h"
#include "host/io/private_folder.h"
#include "host/io/result_folder.h"
#include "host/loader/plugin_library.h"
#include "host/noise/noise_profile_file.h"
#include "host/power/power_analysis.h"
#include "host/power/power_block_options.h"
#include "host/power/power_blocks.h"
#include "host/power/power_part.h"
#include "host/power/replicated_study.h"
#include "host/power/power_memory.h"
#include "host/power/power_table.h"
#include "host/record/checksum.h"
#include "host/record/restored_copy.h"
#include "host/sweep/child_process.h"
#include "host/sweep/manifest.h"
#include "host/session/progress.h"

namespace cohortix::app {
namespace {

// Power simulates the noise of a profile, not the scanner's acquisition beside
// it: a profile that moves the head or times the slices is refused at its line.
host::Status noiseAlone(const std::filesystem::path& profile) {
  host::Result<host::motion::AcquisitionProfile> acquisition = host::motion::readAcquisitionProfile(profile);
  if (!acquisition) return acquisition.status();
  const auto& read = acquisition.value();
  const int line = read.motion ? read.motion->line : read.slices ? read.slices->line : 0;
  if (line == 0) return host::Status::ok();
  return host::Status::error(read.name + ":" + std::to_string(line) +
                             ": expected a profile of noise alone (power neither moves heads nor times slices), "
                             "found [" + (read.motion ? "motion" : "slices") + "]");
}

namespace fs = std::filesystem;
using host::record::RestoredCopy;
using host::record::RunRecord;

struct PowerCommandOptions {
  host::PowerOptions power;
  std::string controlFile;
  std::string outputDir = ".";
  GroupThresholdOptions threshold;
  std::string noise;  // the profile's file; empty: none
  std::string truthRegions = "received";
  bool anatomy = false;
  std::string signalIn = "grey";
  bool quiet = false;
  bool force = false;  // replace an earlier power analysis in the output folder
  std::string replicateBlock;  // "K/B": this process's block of the replicates; empty: all
  std::string slurmFolder;     // plan the blocks there instead of simulating
  int32_t blocks = 0;
  host::record::RunRecord asked;  // for the record beside the tables
};

// Refused before anything is simulated when the analysis cannot fit in memory;
// warned, in one line, when its replicates' random streams must overlap. A control
// file that cannot be read is left to the analysis, which says why.
host::Status admitPower(const host::PowerOptions& power) {
  auto design = std::make_unique<SimulationDesign>();  // far too large for the stack
  std::string message;
  if (!parseControlFile(power.controlFile.c_str(), *design, message)) return host::Status::ok();
  if (host::Status fits = host::checkPowerMemory(host::powerMemoryNeedOf(*design, power), host::memoryLimit()); !fits)
    return fits;
  const host::ReplicateOverlap overlap = host::replicateOverlapOf(*design, power);
  if (overlap.overlaps())
    std::cerr << "warning: each replicate draws about " << overlap.uniformsPerReplicate
              << " uniforms but the replicates' streams start only " << overlap.spacing
              << " apart on the generator's cycle: they overlap and are not independent (docs/analysis.md)\n";
  return host::Status::ok();
}

// What a power analysis (or a block of one) writes into its folder: all of it goes
// when --force replaces it.
host::ResultKind powerResult(bool block) {
  // The record beside them is replaced by the new one when that is written.
  if (block) return {"a block of a power analysis", {host::kPowerPartName}, {host::kPowerPartName}, false};
  return {"a power analysis", {"power.tsv", "power.json"}, {"power.tsv", "power.json"}, false};
}

host::Result<std::string> fileText(const fs::path& path) {
  host::RealDiskInterface disk;
  host::Result<std::string> text = disk.readFile(path);
  if (!text) return text.status().context("cannot read " + path.string());
  return text;
}

// The inputs every block must share, as this command resolved them.
host::Result<host::PowerInputs> powerInputs(const PowerCommandOptions& options) {
  host::PowerInputs inputs;
  host::Result<std::string> control = fileText(options.power.controlFile);
  if (!control) return control.status();
  inputs.controlText = std::move(control).value();
  if (!options.noise.empty()) {
    host::Result<std::string> noise = fileText(options.noise);
    if (!noise) return noise.status();
    inputs.noiseText = std::move(noise).value();
    inputs.noiseSeed = options.power.noiseSeed;
  }
  inputs.repetitionTime = options.power.repetitionTime;
  host::Result<host::record::FileChecksum> plugin = host::record::fileChecksum(options.power.plugin);
  inputs.pluginChecksum = plugin ? plugin->checksum : "unreadable";
  return inputs;
}

host::Status writeBlockPart(const PowerCommandOptions& options, const host::PowerResult& result,
                            host::DiskInterface& disk) {
  host::Result<host::PowerInputs> inputs = powerInputs(options);
  if (!inputs) return inputs.status();
  host::PowerPart part{host::powerBlockIdentity(options.asked, inputs.value()), options.power.replicates,
                       options.power.block, result.rows, result.scores, {}};
  const std::string text = host::powerPartText(part);
  const std::string_view bytes = text;
  const fs::path path = fs::path(options.outputDir) / host::kPowerPartName;
  if (host::Status written = disk.writeFile(path, {&bytes, 1}); !written)
    return std::move(written).context("cannot write " + path.string());
  return host::Status::ok();
}

// --replicate-block K/B: this process makes and scores that block alone and keeps
// its scores for the part it writes.
bool takeReplicateBlock(const std::string& text, host::PowerOptions& power) {
  power.block = host::parseReplicateBlock(text).value();  // checked by its option
  power.keepScores = true;
  if (power.block.count <= power.replicates) return true;
  reportError("--replicate-block " + text + ": expected no more blocks than the " +
              std::to_string(power.replicates) + " replicates");
  return false;
}

// --slurm: the blocks planned as a sweep with its job-array script; nothing simulated.
ExitStatus planBlocks(const PowerCommandOptions& options, const GlobalOptions& global) {
  if (options.blocks > options.power.replicates) {
    reportError("--blocks " + std::to_string(options.blocks) + ": expected no more blocks than the " +
                std::to_string(options.power.replicates) + " replicates");
    return ExitStatus::UsageError;
  }
  host::Result<std::unique_ptr<SimulationDesign>> design = host::readStudyDesign(options.power.controlFile);
  if (!design) {
    reportError(design.status().message());
    return ExitStatus::RunFailed;
  }
  host::Result<host::PowerInputs> inputs = powerInputs(options);
  if (!inputs) {
    reportError(inputs.status().message());
    return ExitStatus::RunFailed;
  }
  const int32_t jobs = std::max(1, options.power.jobs);
  const host::PowerBlockPlan blocks{inputs->controlText, inputs->noiseText,
                                    host::powerBlockOptions(options.asked, inputs.value(), jobs),
                                    options.power.replicates, options.blocks};
  const fs::path folder = fs::absolute(options.slurmFolder).lexically_normal();
  host::sweep::SlurmOptions slurm;
  slurm.cpus = jobs;
  slurm.executable = host::sweep::currentExecutable();
  slurm.plugin = global.pluginPath.empty() ? std::string() : fs::absolute(global.pluginPath).string();
  host::RealDiskInterface disk;
  host::Result<host::sweep::SlurmScript> script = host::writePowerBlockPlan(blocks, folder, slurm, disk);
  if (!script) {
    reportError(script.status().message());
    return ExitStatus::Refused;
  }
  // The submission on standard output, as `sweep slurm` prints it; what follows on
  // standard error.
  std::cout << "sbatch " << host::sweep::shellQuoted((folder / "sweep.sbatch").string()) << '\n';
  for (const std::string& further : script->furtherSubmissions) std::cout << further << '\n';
  const std::string quoted = host::sweep::shellQuoted(folder.string());
  std::cerr << "power: " << options.blocks << " blocks of " << options.power.replicates
            << " replicates planned in " << folder.string() << "; once the array has run (or cohortix sweep run "
            << quoted << " --jobs N here), cohortix sweep gather " << quoted
            << " writes power.tsv and power.json\n";
  return ExitStatus::Success;
}

bool powerOptionGiven(const PowerCommandOptions& options, const std::string& name) {
  const host::record::RecordedOption* option = options.asked.option(name);
  return option != nullptr && option->given;
}

// A run's record in place of the control file: its copy of the control file, and
// its noise profile, seed and repetition time where the command line gives none.
host::Status takeFromRecord(const std::filesystem::path& path, PowerCommandOptions& options,
                            std::optional<RestoredCopy>& control,
                            std::optional<RestoredCopy>& profile) {
  host::RealDiskInterface disk;
  host::Result<RunRecord> record = host::record::readRunRecord(path, disk);
  if (!record) return record.status();
  if (!record->controlFile)
    return host::Status::error(path.string() + " holds no copy of its run's control file");
  host::Result<RestoredCopy> copy = RestoredCopy::of(*record->controlFile, record.value());
  if (!copy) return copy.status();
  control.emplace(std::move(copy).value());
  options.controlFile = control->path().string();
  if (!powerOptionGiven(options, "--noise") && !record->profiles.empty()) {
    host::Result<RestoredCopy> noise = RestoredCopy::of(record->profiles.front(), record.value());
    if (!noise) return noise.status();
    profile.emplace(std::move(noise).value());
    options.noise = profile->path().string();
    if (!powerOptionGiven(options, "--seed") && record->noiseSeed) options.power.noiseSeed = *record->noiseSeed;
  }
  const host::record::RecordedOption* tr = record->option("--tr");
  if (!powerOptionGiven(options, "--tr") && tr != nullptr && tr->values.size() == 1)
    options.power.repetitionTime = std::stod(tr->values.front());
  return host::Status::ok();
}

ExitStatus runPower(PowerCommandOptions options, const GlobalOptions& global) {
  host::RealDiskInterface disk;
  // The runs' private folders go under one of the command's own, so that a signal
  // takes them all; up before any thread is started.
  host::Result<host::PrivateFolder> scratch = host::PrivateFolder::make({}, "cohortix-power");
  if (!scratch) {
    reportError(scratch.status().message());
    return ExitStatus::Refused;
  }
  const host::InterruptionWatcher watcher([&disk, &scratch](int signal) {
    stopInterruptedCommand(disk, signal, "the power analysis", [&scratch] {
      std::error_code ignored;
      std::filesystem::remove_all(scratch->path(), ignored);
    });
  });
  options.power.scratch = scratch->path();
  std::optional<RestoredCopy> control, profile;
  if (const fs::path named = recordNamedBy(options.controlFile); !named.empty()) {
    if (host::Status taken = takeFromRecord(named, options, control, profile); !taken) {
      reportError(taken.message());
      return ExitStatus::RunFailed;
    }
  }
  host::PowerOptions& power = options.power;
  power.controlFile = fs::absolute(options.controlFile);
  applyGroupThresholdOptions(options.threshold, power.analysis);
  power.plugin = pluginPathOf(global);
  const bool block = !options.replicateBlock.empty();
  if (block && !takeReplicateBlock(options.replicateBlock, power)) return ExitStatus::UsageError;
  power.showProgress = host::progressWanted(options.quiet);
  if (!options.noise.empty()) {
    host::Result<host::noise::NoiseProfile> profile = host::noise::readNoiseProfile(options.noise);
    if (!profile) {
      reportError(profile.status().message());
      return ExitStatus::RunFailed;
    }
    power.noise = std::move(profile).value();
    if (host::Status alone = noiseAlone(options.noise); !alone) {
      reportError(alone.message());
      return ExitStatus::RunFailed;
    }
  }
  if (!options.slurmFolder.empty()) return planBlocks(options, global);
  if (options.anatomy) {
    host::Result<host::anatomy::Anatomy> anatomy =
        host::anatomy::cachedAnatomy(host::anatomy::templateSources());
    if (!anatomy) {
      reportError(anatomy.status().message());
      return ExitStatus::RunFailed;
    }
    power.anatomy = std::move(anatomy).value();
    power.signalIn = options.signalIn == "all" ? host::anatomy::SignalIn::All : host::anatomy::SignalIn::Grey;
  }
  if (host::Status admitted = admitPower(power); !admitted) {
    reportError(admitted.message());
    return ExitStatus::Refused;
  }
  // The folder is this command's from here on; an earlier result is refused before
  // any simulation, unless --force.
  host::Result<host::ResultFolder> folder =
      host::ResultFolder::open(options.outputDir, powerResult(block), options.force);
  if (!folder) {
    reportError(folder.status().message());
    return ExitStatus::Refused;
  }
  std::string loadError;
  const auto plugin = host::PluginLibrary::open(power.plugin, loadError);
  CommandRecord record(options.asked, plugin.get(), power.plugin, options.controlFile, options.noise);
  record.addOutput("power", options.outputDir);
  record.setNoise(options.noise.empty() ? std::nullopt : std::optional<uint64_t>(power.noiseSeed), 0);
  record.stage("simulation and analysis");
  host::Result<host::PowerResult> result = host::runPowerAnalysis(power, std::cerr);
  if (!result) {
    reportError(result.status().message());
    return ExitStatus::RunFailed;
  }
  if (!options.quiet && !block) std::cout << host::powerTableText(result->rows) << std::flush;
  record.stage("writing");
  if (host::Status removed = folder->removeEarlier(); !removed) {
    reportError(removed.message());
    return ExitStatus::FilesNotWritten;
  }
  record.observe(disk);
  if (host::Status written = block ? writeBlockPart(options, result.value(), disk)
                                   : host::writePowerTables(options.outputDir, result->rows, disk);
      !written) {
    reportError(written.message());
    return record.finish(ExitStatus::FilesNotWritten, disk);
  }
  const ExitStatus finished = record.finish(ExitStatus::Success, disk);
  // On a terminal, one line naming what was written; in a pipe, nothing.
  if (finished == ExitStatus::Success && ::isatty(STDERR_FILENO) == 1 && block)
    std::cerr << "block " << options.replicateBlock << " of the replicates written to "
              << (fs::path(options.outputDir) / host::kPowerPartName).string() << '\n';
  else if (finished == ExitStatus::Success && ::isatty(STDERR_FILENO) == 1)
    std::cerr << "power of " << power.sampleSizes.size() << " sample sizes, " << power.replicates
              << " studies each, written to " << (fs::path(options.outputDir) / "power.tsv").string()
              << " and power.json\n";
  return finished;
}

CLI::Validator levelBetweenZeroAndOne() {
  const auto check = [](const std::string& text) -> std::string {
    char* end = nullptr;
    const double value = std::strtod(text.c_str(), &end);
    if (end != text.c_str() + text.size() || !(value > 0.0 && value < 1.0))
      return "must be a number between 0 and 1, found " + text;
    return {};
  };
  return CLI::Validator(check, "in (0, 1)", "");
}

}  // namespace

void addPowerCommand(CLI::App& app, const GlobalOptions& global, CommandAction& action) {
  auto options = std::make_shared<PowerCommandOptions>();
  host::PowerOptions& power = options->power;
  host::AnalysisOptions& analysis = power.analysis;
  CLI::App* command = app.add_subcommand(
      "power", "Estimate by simulation how often studies of each size find the design's regions");
  command->add_option("control-file", options->controlFile,
                      "Control file (.cxd), or a run's folder or record (cohortix-run.json) whose "
                      "control file, noise, seed and TR to take")
      ->required();
  command->add_option("--subjects", power.sampleSizes, "Subjects per group to try, e.g. 8,12,16")
      ->required()
      ->delimiter(',')
      ->check(CLI::Range(2, 1000000));
  command->add_option("--replicates", power.replicates, "Simulated studies per sample size")
      ->capture_default_str()
      ->check(CLI::Range(1, 1000000));
  command->add_option("--jobs", power.jobs,
                      "Threads that simulate and analyse replicates (default: one per core); the "
                      "table is the same for any number")
      ->check(CLI::Range(1, 4096));
  command->add_option("-o,--output", options->outputDir, "Folder for power.tsv and power.json")
      ->capture_default_str();
  command->add_option("--tr", power.repetitionTime, "Repetition time in seconds")
      ->capture_default_str()
      ->check(CLI::Range(host::kMinRepetitionTime, host::kMaxRepetitionTime));
  command->add_flag("--ar1", analysis.firstLevel.ar1,
                    "Prewhiten for AR(1) noise, rho pooled over the voxels");
  command->add_option("--highpass", analysis.firstLevel.highpassSeconds,
                      "High-pass cutoff period in seconds (0: none)")
      ->capture_default_str()
      ->check(CLI::NonNegativeNumber);
  command->add_option("--contrast", analysis.contrasts,
                      "A contrast to test, \"name: w1 w2 ...\" with one weight per cell (repeatable)");
  command->add_option("--alpha", analysis.alpha, "Significance level")
      ->capture_default_str()
      ->check(levelBetweenZeroAndOne());
  addGroupThresholdOptions(*command, options->threshold, analysis);
  CLI::Option* noise = command->add_option(
      "--noise", options->noise,
      "Add the host's noise model of this profile (.toml; docs/noise.md) to every subject");
  command->add_option("--seed", power.noiseSeed, "Seed of the host noise's random numbers")
      ->capture_default_str()
      ->needs(noise);
  command
      ->add_option("--truth-regions", options->truthRegions,
                   "What each replicate's maps are scored against: the regions its subjects "
                   "received (each subject's jittered spheres) or the spheres the design asks")
      ->capture_default_str()
      ->check(CLI::IsMember({"received", "asked"}));
  CLI::Option* anatomy = command->add_flag(
      "--anatomy", options->anatomy,
      "Recompose every subject on the Colin27 anatomy before it is analysed, as run --anatomy does");
  command->add_option("--signal-in", options->signalIn, "Where a region's signal goes on the anatomy")
      ->capture_default_str()
      ->check(CLI::IsMember({"grey", "all"}))
      ->needs(anatomy);
  command->add_flag("--force", options->force, "Replace an earlier power analysis (power.tsv, power.json) in -o");
  CLI::Option* block =
      command
          ->add_option("--replicate-block", options->replicateBlock,
                       "Make and score only block K of B of the replicates, writing its part of the table "
                       "(power-part.json) for `cohortix sweep gather`")
          ->check(CLI::Validator(
              [](const std::string& text) {
                host::Result<host::ReplicateBlock> parsed = host::parseReplicateBlock(text);
                return parsed ? std::string() : parsed.status().message();
              },
              "K/B", ""));
  CLI::Option* blocks = command->add_option("--blocks", options->blocks, "Blocks of the replicates for --slurm")
                            ->check(CLI::Range(1, 1000000));
  command
      ->add_option("--slurm", options->slurmFolder,
                   "Plan the analysis as --blocks blocks of replicates in this folder, with a Slurm "
                   "job-array script (sweep.sbatch), instead of running it")
      ->needs(blocks)
      ->excludes(block);
  blocks->needs("--slurm");
  command->add_flag("-q,--quiet", options->quiet, "No progress and no table on standard output");
  command->callback([&action, options, &global, command] {
    options->asked = askedOf(*command, global);
    options->power.receivedRegions = options->truthRegions == "received";
    action = [options, &global] { return runPower(*options, global); };
  });
}

}  // namespace cohortix::app
