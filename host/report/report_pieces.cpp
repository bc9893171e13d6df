// Pieces of HTML the sections share.

#include "control/condition_names.h"
#include "host/report/html_text.h"
#include "host/report/report_sections.h"
#include "host/report/svg_plot.h"

namespace cohortix::host {

Status subjectFailure(const ReportContext& context, const SubjectFiles& subject, const Status& why) {
  if (context.fault != nullptr) *context.fault = {&subject, why.message()};
  return why.context("subject " + subject.name);
}

std::string colourSwatch(Rgb colour, const std::string& label) {
  return "<svg class=\"swatch\" width=\"14\" height=\"14\" viewBox=\"0 0 14 14\" role=\"img\"><title>" +
         htmlText(label) + ": " + cssColour(colour) + "</title><rect x=\"0.5\" y=\"0.5\" width=\"13\" height=\"13\" fill=\"" +
         cssColour(colour) + "\" stroke=\"#555\"/></svg>";
}

std::string htmlTable(const std::vector<std::string>& header, const std::vector<std::vector<std::string>>& rows,
                      const std::string& caption, const std::string& cssClass) {
  std::string out = cssClass.empty() ? "<table>" : "<table class=\"" + cssClass + "\">";
  out += "<caption>" + caption + "</caption><thead><tr>";
  for (const std::string& cell : header) out += "<th scope=\"col\">" + cell + "</th>";
  out += "</tr></thead><tbody>";
  for (const auto& row : rows) {
    out += "<tr>";
    for (std::size_t i = 0; i < row.size(); ++i)
      out += i == 0 ? "<th scope=\"row\">" + row[i] + "</th>" : "<td>" + row[i] + "</td>";
    out += "</tr>";
  }
  return out + "</tbody></table>";
}

std::string cellLegend(const ReportContext& context, bool withRest) {
  std::string out = "<ul class=\"legend\">";
  for (int32_t cell = 0; cell < context.design.NrOfWithinCells; ++cell) {
    const std::string name = conditionName(context.design, cell);
    out += "<li>" + colourSwatch(context.colours.cells[static_cast<std::size_t>(cell)], name) +
           std::to_string(cell + 1) + ". " + htmlText(name) + "</li>";
  }
  if (withRest) out += "<li>" + colourSwatch(kRestColour, "rest") + "rest</li>";
  return out + "</ul>";
}

double volumeStart(const ReportContext& context, double volume) {
  return (volume - 1) * context.series.repetitionTime;
}

}  // namespace cohortix::host
