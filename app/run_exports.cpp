#include "app/run_exports.h"

#include <sstream>
#include <string>

#include "app/design_summary.h"
#include "control/control_file_reader.h"

namespace cohortix::app {
namespace {

bool exportsAsked(const host::ExportOptions& options) {
  return options.nifti || !options.bidsDir.empty();
}

std::string summaryOf(const SimulationDesign& design) {
  std::ostringstream summary;
  printDesignSummary(summary, design);
  return summary.str();
}

}  // namespace

std::unique_ptr<host::StudyExports> openExports(const host::ExportOptions& options,
                                                host::HostSession& session) {
  if (!exportsAsked(options)) return nullptr;
  // The design is far too large for the stack.
  auto design = std::make_unique<SimulationDesign>();
  std::string message;
  const host::SessionOptions& run = session.options();
  if (!parseControlFile(run.controlFile.c_str(), *design, message)) return nullptr;
  const host::ExportSetting setting{run.outputDir, run.controlFile, run.repetitionTime,
                                    summaryOf(*design)};
  return std::make_unique<host::StudyExports>(options, setting, *design, session.disk());
}

}  // namespace cohortix::app
