#pragma once
// The page around the sections: its head with the inline style sheet (screen and
// print), the title, the table of contents and the sections in order.

#include <string>
#include <vector>

#include "host/report/report_sections.h"

namespace cohortix::host {

std::string reportPage(const std::string& title, const std::string& subtitle,
                       const std::vector<Section>& sections);

}  // namespace cohortix::host
