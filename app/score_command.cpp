// cohortix score MAP --truth FILE: counts, rates, detection per region and the ROC
// curve of a statistical map against the truth, as a table or JSON on standard
// output.

#include "app/score_command.h"

#include <CLI/CLI.hpp>

#include <iostream>
#include <memory>

#include "host/analysis/score_files.h"
#include "host/export/export_file.h"
#include "host/io/disk_interface.h"

namespace cohortix::app {
namespace {

struct ScoreCommandOptions {
  std::string map;
  std::string truth;
  int32_t cell = 0;
  std::string contrast;
  double threshold = 0.0;
  std::string tail = "two";
  bool json = false;
  std::string rocFile;
};

ExitStatus score(const ScoreCommandOptions& options, bool hasCell, bool hasContrast, bool hasThreshold,
                 bool hasTail) {
  host::ScoreRequest request;
  request.map = options.map;
  request.truth = options.truth;
  if (hasCell) request.cell = options.cell;
  if (hasContrast) request.contrast = options.contrast;
  if (hasThreshold) request.threshold = options.threshold;
  if (hasTail) request.tail = options.tail == "upper" ? host::Tail::Upper : host::Tail::Two;
  host::RealDiskInterface disk;
  const auto result = host::scoreFiles(request, disk);
  if (!result) {
    reportError(result.status().message());
    return ExitStatus::RunFailed;
  }
  if (!options.rocFile.empty()) {
    const host::Status written =
        host::writeExportText(disk, options.rocFile, host::rocTable(result.value().score));
    if (!written) {
      reportError(written.message());
      return ExitStatus::FilesNotWritten;
    }
  }
  if (const std::string note = host::uncountedNote(request, result.value()); !note.empty())
    std::cerr << "cohortix: " << note << '\n';
  std::cout << (options.json ? host::scoreJson(result.value()) : host::scoreTable(result.value()));
  return ExitStatus::Success;
}

}  // namespace

void addScoreCommand(CLI::App& app, const GlobalOptions&, CommandAction& action) {
  auto options = std::make_shared<ScoreCommandOptions>();
  CLI::App* command =
      app.add_subcommand("score", "Score a statistical map against a truth mask or label map");
  command->add_option("map", options->map, "Statistical map (NIfTI)")->required();
  command->add_option("--truth", options->truth,
                      "Truth on the same grid: a mask, or a label map (region N is N, from 1); "
                      "default: the one the map's sidecar names");
  CLI::Option* cell = command->add_option("--cell", options->cell,
                                          "Volume N (1-based) of a 4-D map or truth")
                          ->check(CLI::PositiveNumber);
  CLI::Option* contrast = command->add_option(
      "--contrast", options->contrast, "The truth's volume of this name (its sidecar's \"Volumes\")");
  cell->excludes(contrast);
  CLI::Option* threshold = command->add_option(
      "--threshold", options->threshold,
      "Detected: |value| >= T (value >= T with --tail upper), T > 0; default: the map's sidecar's "
      "(a thresholded map: value not 0); without one only the ROC is scored");
  CLI::Option* tail = command->add_option(
      "--tail", options->tail, "Both signs count, or only positive values (default: the sidecar's, else two)")
      ->check(CLI::IsMember({"two", "upper"}));
  command->add_flag("--json", options->json, "JSON instead of a table");
  command->add_option("--roc", options->rocFile, "Also write the ROC curve as a table to this file");
  command->callback([&action, options, cell, contrast, threshold, tail] {
    const bool hasCell = cell->count() > 0;
    const bool hasContrast = contrast->count() > 0;
    const bool hasThreshold = threshold->count() > 0;
    const bool hasTail = tail->count() > 0;
    action = [options, hasCell, hasContrast, hasThreshold, hasTail] {
      return score(*options, hasCell, hasContrast, hasThreshold, hasTail);
    };
  });
}

}  // namespace cohortix::app
