// cohortix sweep plan|run|job|slurm|gather: a grid of designs made from one
// control file, run here N at a time or as a Slurm job array, and gathered into
// one table. The work is in host/sweep; this file reads the command line and says
// how it went.

#include <CLI/CLI.hpp>
#include <unistd.h>

#include <array>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <memory>

#include "app/command.h"
#include "app/design_command_check.h"
#include "host/io/disk_interface.h"
#include "host/power/power_blocks.h"
#include "host/power/power_table.h"
#include "host/sweep/design_job.h"
#include "host/sweep/gather.h"
#include "host/sweep/local_runner.h"
#include "host/sweep/manifest.h"
#include "host/sweep/slurm_script.h"
#include "host/sweep/sweep_file.h"
#include "host/sweep/sweep_plan.h"

namespace cohortix::app {
namespace {

namespace sweep = host::sweep;
namespace fs = std::filesystem;

// Points the designs' commands at another executable than this one: a different
// cohortix build, or a stand-in in tests.
constexpr char kExecutableVariable[] = "COHORTIX_SWEEP_EXECUTABLE";

struct SweepOptions {
  std::string sweepFile;
  std::string folder;
  std::string design;
  std::string output;
  int jobs = 1;
  bool retryFailed = false;
  bool skipBroken = false;  // gather: leave out a design whose table is not whole
  sweep::SlurmOptions slurm;
};

ExitStatus failed(const host::Status& status) {
  reportError(status.message());
  return ExitStatus::RunFailed;
}

fs::path commandExecutable() {
  const char* chosen = std::getenv(kExecutableVariable);
  return chosen != nullptr && *chosen != '\0' ? fs::path(chosen) : sweep::currentExecutable();
}

// The jobs run in the plan folder: a plug-in named relative to here must still
// be found there.
std::string pluginFor(const GlobalOptions& global) {
  return global.pluginPath.empty() ? std::string() : fs::absolute(global.pluginPath).string();
}

ExitStatus plan(const SweepOptions& options) {
  host::Result<sweep::SweepDefinition> definition = sweep::readSweepFile(options.sweepFile);
  if (!definition) return failed(definition.status());
  host::Result<sweep::ExpandedSweep> expanded = sweep::expandSweep(definition.value());
  if (!expanded) return failed(expanded.status());
  if (host::Status parsed = checkDesignCommands(definition.value(), expanded->plan); !parsed)
    return failed(parsed);
  host::RealDiskInterface disk;
  host::Result<sweep::PlanResult> planned =
      sweep::writePlan(definition.value(), options.folder, disk);
  if (!planned) return failed(planned.status());
  const std::size_t count = planned->plan.designs.size();
  std::cout << (planned->unchanged ? "unchanged: " : "planned ") << count
            << (count == 1 ? " design" : " designs") << " in " << options.folder
            << " (manifest.tsv); run them with: cohortix sweep run " << options.folder
            << " --jobs N\n";
  return ExitStatus::Success;
}

ExitStatus statusOf(const sweep::LocalRunReport& report) {
  if (report.stopSignal == SIGINT) return ExitStatus::Interrupted;
  if (report.stopSignal == SIGTERM) return ExitStatus::Terminated;
  return report.complete == report.designs ? ExitStatus::Success : ExitStatus::RunFailed;
}

ExitStatus runLocally(const SweepOptions& options, const GlobalOptions& global) {
  host::Result<sweep::Plan> manifest = sweep::readManifest(options.folder);
  if (!manifest) return failed(manifest.status());
  sweep::LocalRunOptions run{options.jobs, options.retryFailed, ::isatty(STDERR_FILENO) == 1,
                             false,        commandExecutable(), pluginFor(global)};
  host::RealDiskInterface disk;
  host::Result<sweep::LocalRunReport> report =
      sweep::runDesigns(options.folder, manifest.value(), {}, run, std::cerr, disk);
  if (!report) return failed(report.status());
  const sweep::LocalRunReport& r = report.value();
  std::cerr << "sweep: " << r.complete << " of " << r.designs << " designs complete";
  if (r.failed > 0) std::cerr << ", " << r.failed << " failed (--retry-failed runs them again)";
  if (r.busy > 0) std::cerr << ", " << r.busy << " run by another process";
  if (r.pending > 0) std::cerr << ", " << r.pending << " left to run";
  std::cerr << '\n';
  return statusOf(r);
}

// One design, as a Slurm array task or a Snakemake rule runs it.
ExitStatus runOne(const SweepOptions& options, const GlobalOptions& global) {
  host::Result<sweep::Plan> manifest = sweep::readManifest(options.folder);
  if (!manifest) return failed(manifest.status());
  const sweep::PlannedDesign* design = sweep::findDesign(manifest.value(), options.design);
  if (design == nullptr) {
    reportError(options.folder + " has no design " + options.design + " (designs 1 to " +
                std::to_string(manifest->designs.size()) + ")");
    return ExitStatus::UsageError;
  }
  sweep::LocalRunOptions run{1,    options.retryFailed, false,
                             true, commandExecutable(), pluginFor(global)};
  host::RealDiskInterface disk;
  host::Result<sweep::LocalRunReport> report =
      sweep::runDesigns(options.folder, manifest.value(), {design}, run, std::cerr, disk);
  if (!report) return failed(report.status());
  // A design run by another process is not this task's failure.
  return report->busy > 0 ? ExitStatus::Success : statusOf(report.value());
}

ExitStatus writeSlurmScript(SweepOptions options, const GlobalOptions& global) {
  host::Result<sweep::Plan> manifest = sweep::readManifest(options.folder);
  if (!manifest) return failed(manifest.status());
  const fs::path folder = fs::absolute(options.folder).lexically_normal();
  const fs::path script =
      options.output.empty() ? folder / "sweep.sbatch" : fs::absolute(options.output);
  options.slurm.executable = sweep::currentExecutable();
  options.slurm.plugin = pluginFor(global);
  options.slurm.retryFailed = options.retryFailed;
  host::Result<sweep::SlurmScript> text =
      sweep::slurmScript(folder, manifest->designs.size(), script, options.slurm);
  if (!text) return failed(text.status());
  host::RealDiskInterface disk;
  // Slurm opens the task logs' folder as it is; it must exist before submission.
  if (host::Status made = disk.makeDirs(folder / "logs"); !made)
    return failed(made.context("cannot create " + (folder / "logs").string()));
  const std::array<std::string_view, 1> parts = {text->text};
  if (host::Status written = disk.writeFile(script, parts); !written)
    return failed(written.context("cannot write " + script.string()));
  fs::permissions(script, fs::perms::owner_exec | fs::perms::group_exec | fs::perms::others_exec,
                  fs::perm_options::add);
  std::cout << "sbatch " << sweep::shellQuoted(script.string()) << '\n';
  for (const std::string& further : text->furtherSubmissions) std::cout << further << '\n';
  return ExitStatus::Success;
}

// The blocks of one power analysis: its power.tsv and power.json, as one process
// would have written them, into -o (default: the plan folder), and its table shown.
ExitStatus gatherPowerBlocks(const SweepOptions& options, const sweep::Plan& plan) {
  host::RealDiskInterface disk;
  host::Result<std::vector<host::PowerRow>> rows = host::gatherPowerBlocks(options.folder, plan, disk);
  if (!rows) return failed(rows.status().context("cannot gather " + options.folder));
  const fs::path folder = options.output.empty() ? fs::path(options.folder) : fs::path(options.output);
  if (host::Status written = host::writePowerTables(folder, rows.value(), disk); !written) {
    reportError(written.message());
    return ExitStatus::FilesNotWritten;
  }
  std::cout << host::powerTableText(rows.value()) << std::flush;
  return ExitStatus::Success;
}

ExitStatus gather(const SweepOptions& options) {
  host::Result<sweep::Plan> manifest = sweep::readManifest(options.folder);
  if (!manifest) return failed(manifest.status());
  if (host::isPowerBlockPlan(manifest.value())) return gatherPowerBlocks(options, manifest.value());
  host::Result<sweep::GatheredTable> table =
      sweep::gatherResults(options.folder, manifest.value(), options.skipBroken);
  if (!table) return failed(table.status());
  if (options.output.empty()) {
    std::cout << table->text << std::flush;
  } else {
    host::RealDiskInterface disk;
    const std::array<std::string_view, 1> parts = {table->text};
    if (host::Status written = disk.writeFile(options.output, parts); !written)
      return failed(written.context("cannot write " + options.output));
  }
  const auto list = [](const std::vector<std::string>& ids) {
    std::string text;
    for (const std::string& id : ids) text += (text.empty() ? "" : ", ") + id;
    return text;
  };
  if (!table->failed.empty()) reportError("failed designs: " + list(table->failed));
  if (!table->missing.empty()) reportError("designs not run yet: " + list(table->missing));
  for (const std::string& broken : table->broken) reportError("left out: design " + broken);
  const bool whole = table->failed.empty() && table->missing.empty();
  return whole ? ExitStatus::Success : ExitStatus::RunFailed;
}

CLI::App* withFolder(CLI::App* command, SweepOptions& options) {
  command->add_option("plan-folder", options.folder, "Folder of the plan")->required();
  return command;
}

}  // namespace

void addSweepCommand(CLI::App& app, const GlobalOptions& global, CommandAction& action) {
  auto options = std::make_shared<SweepOptions>();
  CLI::App* sweepCommand = app.add_subcommand(
      "sweep", "Run a grid of designs made from one control file, here or on a Slurm cluster");
  sweepCommand->require_subcommand(1);

  CLI::App* planCommand = sweepCommand->add_subcommand(
      "plan", "Write one control file per design and the manifest into a plan folder");
  planCommand->add_option("sweep-file", options->sweepFile, "Sweep file (.toml)")->required();
  planCommand->add_option("-o,--output", options->folder, "Plan folder")->required();
  planCommand->callback([&action, options] { action = [options] { return plan(*options); }; });

  CLI::App* runCommand = withFolder(
      sweepCommand->add_subcommand("run", "Run the plan's designs on this machine"), *options);
  runCommand->add_option("-j,--jobs", options->jobs, "Designs at a time")
      ->capture_default_str()
      ->check(CLI::Range(1, 1024));
  runCommand->add_flag("--retry-failed", options->retryFailed, "Run failed designs again");
  runCommand->callback([&action, options, &global] {
    action = [options, &global] { return runLocally(*options, global); };
  });

  CLI::App* jobCommand = withFolder(
      sweepCommand->add_subcommand("job", "Run one design of a plan (for schedulers)"), *options);
  jobCommand->add_option("design", options->design, "Design id (d001) or number (1)")->required();
  jobCommand->add_flag("--retry-failed", options->retryFailed, "Run it again if it failed");
  jobCommand->callback([&action, options, &global] {
    action = [options, &global] { return runOne(*options, global); };
  });

  CLI::App* slurmCommand = withFolder(
      sweepCommand->add_subcommand("slurm", "Write a Slurm job-array script for the plan"),
      *options);
  slurmCommand->add_option("--partition", options->slurm.partition, "Slurm partition");
  slurmCommand->add_option("--time", options->slurm.time, "Time limit per design (Slurm format)");
  slurmCommand->add_option("--mem", options->slurm.memory, "Memory per design (Slurm format)");
  slurmCommand->add_option("--cpus", options->slurm.cpus, "CPUs per design")
      ->capture_default_str()
      ->check(CLI::PositiveNumber);
  slurmCommand->add_option("--throttle", options->slurm.throttle, "Designs at a time (0: any)")
      ->capture_default_str()
      ->check(CLI::NonNegativeNumber);
  slurmCommand
      ->add_option("--max-array-size", options->slurm.maxArraySize, "The cluster's MaxArraySize")
      ->capture_default_str()
      ->check(CLI::Range(2, 100000000));
  slurmCommand->add_flag("--retry-failed", options->retryFailed, "Run failed designs again");
  slurmCommand->add_option("-o,--output", options->output,
                           "Script to write (default: PLAN/sweep.sbatch)");
  slurmCommand->callback([&action, options, &global] {
    action = [options, &global] { return writeSlurmScript(*options, global); };
  });

  CLI::App* gatherCommand = withFolder(
      sweepCommand->add_subcommand("gather", "Combine the designs' results into one TSV table"),
      *options);
  gatherCommand->add_option("-o,--output", options->output,
                            "Table to write (default: stdout); for the blocks of one power analysis, the "
                            "folder for its power.tsv and power.json (default: the plan folder)");
  gatherCommand->add_flag("--skip-broken", options->skipBroken,
                          "Leave out, and name, a design whose table is not whole, rather than "
                          "refuse the gathering");
  gatherCommand->callback([&action, options] { action = [options] { return gather(*options); }; });
}

}  // namespace cohortix::app
