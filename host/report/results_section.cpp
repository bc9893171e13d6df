// The results of analysing the study or estimating its power, when a run has them.

#include "host/report/html_text.h"
#include "host/report/report_sections.h"
#include "host/report/result_figures.h"

namespace cohortix::host {

Result<Section> resultsSection(const ReportContext& context) {
  Section section{"results", "The results",
                  "The t maps should light up inside the truth's outlines and stay quiet outside them, and the "
                  "power should rise with the number of subjects.",
                  ""};
  const auto none = [&section] {
    section.body =
        "<p class=\"unknown\">This run folder holds no analysis or power results: <code>cohortix analyze RUN</code> "
        "writes an analysis into its default folder, <code>cohortix power STUDY.cxd -o RUN/power</code> a power "
        "table where the report finds it (or name them with <code>--analysis</code> and <code>--power</code>).</p>";
    return section;
  };
  if (context.inputs.results == nullptr) return none();
  ResultsInput& results = *context.inputs.results;
  Result<std::optional<std::vector<GroupMapEntry>>> maps = results.groupMaps();
  if (!maps) return maps.status();
  Result<std::optional<std::vector<PowerEntry>>> power = results.powerTable();
  if (!power) return power.status();
  if (power.value())
    if (Status same = powerTableOfStudy(context.design, results.powerSource(), *power.value()); !same)
      return same;
  if (!maps.value() && !power.value()) return none();
  if (maps.value()) {
    Result<std::string> part = groupMapResults(context, results, *maps.value());
    if (!part) return part.status();
    section.body += part.value();
  }
  if (power.value()) section.body += powerResults(context, results.powerSource(), *power.value());
  return section;
}

}  // namespace cohortix::host
