// The results of analysing the study or estimating its power, when a run has them.

#include "host/report/html_text.h"
#include "host/report/report_sections.h"

namespace cohortix::host {

Result<Section> resultsSection(const ReportContext& context) {
  Section section{"results", "The results",
                  "The estimated effects should recover the truth's table within their error, and the power "
                  "should rise with the number of subjects.",
                  ""};
  if (context.inputs.results == nullptr) {
    section.body = "<p class=\"unknown\">This run folder holds no analysis or power results.</p>";
    return section;
  }
  Result<std::vector<FigureTable>> tables = context.inputs.results->results();
  if (!tables) return tables.status();
  if (tables->empty()) section.body = "<p class=\"unknown\">The analysis left no results.</p>";
  for (const FigureTable& table : tables.value()) {
    std::vector<std::string> header;
    for (const std::string& cell : table.header) header.push_back(htmlText(cell));
    std::vector<std::vector<std::string>> rows;
    for (const auto& row : table.rows) {
      rows.emplace_back();
      for (const std::string& cell : row) rows.back().push_back(htmlText(cell));
    }
    section.body += "<p>" + htmlText(table.explanation) + "</p>" +
                    htmlTable(header, rows, htmlText(table.title), "numbers");
  }
  return section;
}

}  // namespace cohortix::host
