#pragma once
// The control file reader: fills a SimulationDesign from a ".cxd" file, item by
// item in the file's fixed order, and refuses a file it cannot take whole before
// anything of the run is created.

#include <string>
#include <vector>

#include "control/simulation_design.h"
#include "control/token_spans.h"

namespace cohortix {

// Reads the file into the design and completes its derived counts. On false,
// `message` holds the one text to show the user: one of the four rejections, or
// "file:line: expected ..., found ..." for a file that is malformed or describes
// a study the run cannot hold.
bool parseControlFile(const char* path, SimulationDesign& design, std::string& message);

// parseControlFile that also reports where every token it read stands, in reading
// order; each item's tokens start with its label.
bool parseControlFile(const char* path, SimulationDesign& design, std::string& message,
                      std::vector<TokenSpan>& spans);

}  // namespace cohortix
