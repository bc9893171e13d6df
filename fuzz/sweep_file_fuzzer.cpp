// Feeds arbitrary bytes to the sweep-file reader as sweep.toml in a folder that
// holds the tiny example's control file, tiny.cxd, as the example sweep has it. Every input must be read or
// refused with one line; a sweep read has a command designs can run and every
// varied item or option with at least one value.

#include <filesystem>
#include <fstream>
#include <string>

#include "fuzz/fuzz_input_file.h"
#include "host/sweep/sweep_file.h"

namespace {

// The fuzzer's folder, removed when the fuzzer exits.
class FuzzFolder {
 public:
  FuzzFolder() {
    char folder[] = "/tmp/sweep-fuzz-XXXXXX";
    cohortix::fuzz::require(mkdtemp(folder) != nullptr);
    path_ = folder;
    std::ifstream in(COHORTIX_ROOT "/examples/sweep/tiny.cxd", std::ios::binary);
    std::ofstream(path_ + "/tiny.cxd", std::ios::binary) << in.rdbuf();
  }
  ~FuzzFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const FuzzFolder folder;
  const std::string file = folder.path() + "/sweep.toml";
  std::ofstream(file, std::ios::binary | std::ios::trunc).write(reinterpret_cast<const char*>(data),
                                                                 static_cast<std::streamsize>(size));
  auto sweep = cohortix::host::sweep::readSweepFile(file);
  if (!sweep) {
    const std::string& message = sweep.status().message();
    cohortix::fuzz::require(!message.empty() && message.find('\n') == std::string::npos);
    return 0;
  }
  cohortix::fuzz::require(cohortix::host::sweep::isSweepCommand(sweep->command));
  for (const auto& axis : sweep->axes) cohortix::fuzz::require(!axis.values.empty());
  return 0;
}
