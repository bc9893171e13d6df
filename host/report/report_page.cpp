#include "host/report/report_page.h"

#include "host/report/html_text.h"

namespace cohortix::host {
namespace {

// Readable on a laptop, printable on A4 or Letter: each section starts a page, the
// contents stand alone on the first, figures and tables are not split.
constexpr char kStyle[] = R"(
:root { color-scheme: light; }
body { font: 15px/1.45 "DejaVu Sans", "Segoe UI", Roboto, Helvetica, Arial, sans-serif; color: #1a1a1a;
  background: #fff; max-width: 1020px; margin: 0 auto; padding: 0 1rem 3rem; }
header { border-bottom: 3px solid #0072b2; margin-bottom: 1rem; }
h1 { font-size: 1.7rem; margin: 1.2rem 0 .2rem; }
h2 { font-size: 1.35rem; border-bottom: 1px solid #ccc; margin-top: 2.4rem; padding-bottom: .2rem; }
h3 { font-size: 1.1rem; margin-top: 1.6rem; }
.subtitle { color: #444; margin: 0 0 .8rem; }
.hint { background: #eef4fa; border-left: 4px solid #0072b2; padding: .4rem .8rem; }
.unknown { color: #666; font-style: italic; }
nav ol { columns: 2; margin: .2rem 0; }
table { border-collapse: collapse; margin: .4rem 0 1.2rem; font-size: .92rem; }
caption { text-align: left; font-weight: 600; padding: .2rem 0; caption-side: top; }
th, td { border: 1px solid #ccc; padding: .2rem .5rem; text-align: left; vertical-align: top; }
thead th { background: #f2f2f2; }
tbody th { font-weight: normal; }
table.numbers td { text-align: right; font-variant-numeric: tabular-nums; }
table.facts th { width: 14rem; }
.side-by-side { display: flex; flex-wrap: wrap; gap: 0 2rem; }
.level { white-space: nowrap; margin-right: .6rem; }
.swatch { vertical-align: -2px; margin-right: .3rem; }
ul.legend { list-style: none; padding: 0; margin: .3rem 0 .8rem; display: flex; flex-wrap: wrap; gap: .2rem 1.2rem; }
figure { margin: .6rem 0 1.2rem; }
figcaption { font-size: .9rem; color: #333; max-width: 60rem; }
figure.strip { margin: 0; }
svg { max-width: 100%; height: auto; }
svg text { font: 11px "DejaVu Sans", Helvetica, Arial, sans-serif; fill: #222; }
svg .title { font-weight: bold; }
svg .axis path { stroke: #444; fill: none; }
svg .on-colour { fill: #000; font-weight: bold; }
svg .letters text { font-weight: bold; fill: #000; paint-order: stroke; stroke: #fff; stroke-width: 3px; }
svg .crosshair { stroke-width: 0.8; stroke-dasharray: 3 2; fill: none; }
svg image { image-rendering: pixelated; }
.band { fill-opacity: .3; }
.slices { display: flex; flex-wrap: wrap; gap: .5rem 1rem; align-items: flex-end; }
pre.control { background: #f7f7f7; border: 1px solid #ddd; padding: .6rem .8rem; max-height: 26rem;
  overflow: auto; font-size: .85rem; }
@media print {
  body { max-width: none; padding: 0; font-size: 10pt; }
  nav { break-after: page; }
  section + section { break-before: page; }
  figure, table, .slices { break-inside: avoid; }
  pre.control { max-height: none; overflow: visible; white-space: pre-wrap; }
  .hint { background: none; border-left-color: #000; }
}
)";

}  // namespace

std::string reportPage(const std::string& title, const std::string& subtitle,
                       const std::vector<Section>& sections) {
  std::string out =
      "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
      "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n"
      "<meta name=\"generator\" content=\"cohortix report\">\n<title>" +
      htmlText(title) + "</title>\n<style>" + kStyle + "</style>\n</head>\n<body>\n<header><h1>" +
      htmlText(title) + "</h1><p class=\"subtitle\">" + subtitle + "</p></header>\n";
  out += "<nav aria-label=\"Contents\"><h2 id=\"contents\">Contents</h2><ol>";
  for (const Section& section : sections)
    out += "<li><a href=\"#" + section.id + "\">" + htmlText(section.title) + "</a></li>";
  out += "</ol></nav>\n<main>\n";
  for (std::size_t i = 0; i < sections.size(); ++i) {
    const Section& section = sections[i];
    out += "<section id=\"" + section.id + "\" aria-labelledby=\"" + section.id + "-title\">\n<h2 id=\"" +
           section.id + "-title\">" + std::to_string(i + 1) + ". " + htmlText(section.title) +
           "</h2>\n<p class=\"hint\"><strong>What to look for:</strong> " + htmlText(section.hint) + "</p>\n" +
           section.body + "\n</section>\n";
  }
  return out + "</main>\n</body>\n</html>\n";
}

}  // namespace cohortix::host
