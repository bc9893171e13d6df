#pragma once
// What `check` and `run` say about a control file the reader took: warnings about
// files that read by position but are surely not what their author meant (a line
// under another item's label, a region outside the box, ...), and the host's own
// refusals of names and sizes that its files and exports cannot carry.

#include <filesystem>
#include <iosfwd>
#include <string>
#include <vector>

#include "control/simulation_design.h"
#include "control/token_spans.h"

namespace cohortix::app {

struct DesignFinding {
  enum class Kind {
    Warning,        // the run goes on; `check --strict` fails
    Refusal,        // no run: the names would reach JSON or file names broken
    ExportRefusal,  // no run with --nifti or --bids; `check` refuses too
    ExportWarning,  // no run with --nifti or --bids; `check` only warns
  };
  Kind kind = Kind::Warning;
  int line = 0;
  std::string text;  // without "file:line: "
};

// Every finding of a design the reader took from `path`, with the tokens it read.
std::vector<DesignFinding> designFindings(const std::filesystem::path& path,
                                          const SimulationDesign& design,
                                          const std::vector<TokenSpan>& spans);

// The line of the item the reader took under its customary name (Center1, ...);
// 0 when there is none.
int itemLine(const SimulationDesign& design, const std::vector<TokenSpan>& spans,
             const std::string& name);

// "file:line: text".
std::string located(const std::filesystem::path& path, const DesignFinding& finding);

// For a file the reader refused with one of its texts that name no place (the
// version, the factor counts, the balanced-design flag): "file:line: ..." naming
// the item; empty for any other refusal. `spans` are the tokens read before it.
std::string placeOfRefusal(const std::filesystem::path& path, const std::string& refusal,
                           const std::vector<TokenSpan>& spans);

// Before a run: prints each warning as "warning: file:line: ..." and each refusal
// that applies to it on `messages`; false when the run must not start.
bool printDesignWarnings(const std::filesystem::path& controlFile, bool withExports,
                         std::ostream& messages);

}  // namespace cohortix::app
