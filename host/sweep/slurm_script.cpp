#include "host/sweep/slurm_script.h"

#include <algorithm>
#include <cctype>
#include <utility>

#include "host/sweep/manifest.h"

namespace cohortix::host::sweep {
namespace {

// #SBATCH lines are read by sbatch, not a shell: their values must be single words,
// and '%' in a log name is one of Slurm's patterns.
Status checkDirectiveWord(const std::string& what, const std::string& value, bool path) {
  const bool bad =
      value.find_first_of(path ? " \t\r\n\"'\\%" : " \t\r\n\"'\\") != std::string::npos;
  if (!bad) return Status::ok();
  return Status::error("expected " + what + " without blanks, quotes" +
                       (path ? ", backslashes or %" : " or backslashes") +
                       " for the Slurm script, found \"" + value + "\"");
}

std::string arrayRange(std::size_t first, std::size_t last, int throttle) {
  std::string range = std::to_string(first) + "-" + std::to_string(last);
  return throttle > 0 ? range + "%" + std::to_string(throttle) : range;
}

}  // namespace

Result<SlurmScript> slurmScript(const std::filesystem::path& folder, std::size_t designs,
                                const std::filesystem::path& scriptPath,
                                const SlurmOptions& options) {
  if (Status ok = checkDirectiveWord("a plan folder", folder.string(), true); !ok) return ok;
  for (const auto& [what, value] :
       {std::pair<std::string, std::string>{"a partition", options.partition},
        {"a time limit", options.time},
        {"a memory size", options.memory}})
    if (Status ok = checkDirectiveWord(what, value, false); !ok) return ok;
  if (designs == 0) return Status::error("expected a plan with designs, found none");
  const std::size_t perArray = options.maxArraySize > 1 ? options.maxArraySize - 1 : 1;
  const std::size_t first = std::min(designs, perArray);
  std::string name = "cohortix-" + folder.filename().string();
  for (char& c : name)
    if (!std::isalnum(static_cast<unsigned char>(c)) && c != '-' && c != '_' && c != '.') c = '_';

  std::string text = "#!/bin/bash\n";
  text +=
      "# The designs of the sweep planned in " + folder.string() + ", one array task per design.\n";
  text += "# Submit it as it is: sbatch " + shellQuoted(scriptPath.string()) + "\n";
  text += "# A task whose design is complete ends at once; a design that failed before is\n";
  text += options.retryFailed
              ? "# run again (written with --retry-failed).\n"
              : "# reported, not run again (cohortix sweep slurm --retry-failed).\n";
  text += "#SBATCH --job-name=" + name + "\n";
  text += "#SBATCH --array=" + arrayRange(1, first, options.throttle) + "\n";
  text += "#SBATCH --output=" + (folder / "logs" / "slurm-%A_%a.log").string() + "\n";
  text += "#SBATCH --chdir=" + folder.string() + "\n";
  text += "#SBATCH --ntasks=1\n";
  text += "#SBATCH --cpus-per-task=" + std::to_string(std::max(1, options.cpus)) + "\n";
  if (!options.partition.empty()) text += "#SBATCH --partition=" + options.partition + "\n";
  if (!options.time.empty()) text += "#SBATCH --time=" + options.time + "\n";
  if (!options.memory.empty()) text += "#SBATCH --mem=" + options.memory + "\n";
  text += "set -eu\n";
  text += "design=$(( SLURM_ARRAY_TASK_ID + ${COHORTIX_SWEEP_OFFSET:-0} ))\n";
  std::string command = "exec " + shellQuoted(options.executable.string());
  if (!options.plugin.empty()) command += " --plugin " + shellQuoted(options.plugin);
  command += " sweep job " + shellQuoted(folder.string()) + " \"$design\"";
  if (options.retryFailed) command += " --retry-failed";
  text += command + "\n";

  SlurmScript script{text, {}};
  for (std::size_t offset = first; offset < designs; offset += perArray) {
    const std::size_t count = std::min(perArray, designs - offset);
    script.furtherSubmissions.push_back(
        "sbatch --array=" + arrayRange(1, count, options.throttle) +
        " --export=ALL,COHORTIX_SWEEP_OFFSET=" + std::to_string(offset) + " " +
        shellQuoted(scriptPath.string()));
  }
  return script;
}

}  // namespace cohortix::host::sweep
