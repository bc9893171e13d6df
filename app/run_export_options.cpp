#include "app/run_export_options.h"

#include <CLI/CLI.hpp>
#include <string>

#include "host/export/parallel_gzip.h"

namespace cohortix::app {

void addRunExportOptions(CLI::App& command, host::ExportOptions& exports) {
  CLI::Option* gzip = command.get_option("--gzip");
  CLI::Option* bids = command.get_option("--bids");
  CLI::Option* nifti = command.get_option("--nifti");
  const std::string levels = std::to_string(host::kMinGzipLevel) + " (fastest) to " +
                             std::to_string(host::kMaxGzipLevel) + " (smallest)";
  command.add_option("--gzip-level", exports.gzipLevel, "Compression level of --gzip, " + levels)
      ->capture_default_str()
      ->check(CLI::Range(host::kMinGzipLevel, host::kMaxGzipLevel))
      ->needs(gzip);
  command.add_flag("--no-native", exports.noNative,
                   "Write only the --bids dataset: no .prt, .rtc or .vtc files")
      ->needs(bids)
      ->excludes(nifti);
  command.add_flag("--resume", exports.resume,
                   "Continue the unfinished --bids dataset an interrupted or failed run left: "
                   "its subjects are checked, the rest written")
      ->needs(bids);
}

}  // namespace cohortix::app
