#include "app/run_exports.h"

#include <sstream>
#include <string>

#include "app/design_summary.h"

namespace cohortix::app {
namespace {

std::string summaryOf(const SimulationDesign& design) {
  std::ostringstream summary;
  printDesignSummary(summary, design);
  return summary.str();
}

}  // namespace

bool exportsAsked(const host::ExportOptions& options) {
  return options.nifti || !options.bidsDir.empty();
}

host::Result<std::unique_ptr<host::StudyExports>> openExports(const host::ExportOptions& options,
                                                const host::SessionOptions& run,
                                                const SimulationDesign* design,
                                                host::DiskInterface& disk) {
  if (!exportsAsked(options) || design == nullptr)
    return std::unique_ptr<host::StudyExports>();
  const host::ExportSetting setting{run.outputDir, run.controlFile, run.repetitionTime,
                                    summaryOf(*design)};
  return host::StudyExports::open(options, setting, *design, disk);
}

}  // namespace cohortix::app
