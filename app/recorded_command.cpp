#include "app/recorded_command.h"

#include <spawn.h>
#include <sys/wait.h>

#include <cerrno>
#include <set>

#include "host/sweep/child_process.h"

extern char** environ;

namespace cohortix::app {
namespace {

// The options the caller sets itself: the files read, where the files go, and
// what only the first run could mean.
const std::set<std::string> kReplacedOptions = {"control-file", "--output", "--bids", "--noise",
                                                "--resume", "--force", "--report", "--no-native"};

}  // namespace

std::vector<std::string> recordedRunArguments(const host::record::RunRecord& record,
                                              const RecordedRunPaths& paths,
                                              const std::vector<std::string>& extra) {
  std::vector<std::string> argv = {host::sweep::currentExecutable().string()};
  if (!paths.plugin.empty()) argv.insert(argv.end(), {"--plugin", paths.plugin});
  argv.insert(argv.end(), {"run", paths.control.string()});
  for (const host::record::RecordedOption& option : record.options) {
    if (!option.given || kReplacedOptions.contains(option.name)) continue;
    // A flag, or an option whose value may be left out (--anatomy), given alone.
    if ((option.flag && option.on) || (!option.flag && option.values.empty()))
      argv.push_back(option.name);
    for (const std::string& value : option.values) argv.insert(argv.end(), {option.name, value});
  }
  if (!paths.profile.empty()) argv.insert(argv.end(), {"--noise", paths.profile.string()});
  if (paths.outputs.contains("native"))
    argv.insert(argv.end(), {"-o", paths.outputs.at("native").string()});
  else
    argv.push_back("--no-native");
  if (paths.outputs.contains("bids"))
    argv.insert(argv.end(), {"--bids", paths.outputs.at("bids").string()});
  argv.insert(argv.end(), extra.begin(), extra.end());
  return argv;
}

int runRecordedCommand(const std::vector<std::string>& argv) {
  std::vector<char*> pointers;
  for (const std::string& argument : argv) pointers.push_back(const_cast<char*>(argument.c_str()));
  pointers.push_back(nullptr);
  pid_t pid = 0;
  if (posix_spawn(&pid, pointers[0], nullptr, nullptr, pointers.data(), environ) != 0) return 3;
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  return host::sweep::exitCodeOf(status);
}

}  // namespace cohortix::app
