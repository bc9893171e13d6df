#include "app/design_command_check.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <regex>

#include "app/check_command.h"
#include "app/command.h"

namespace cohortix::app {
namespace {

// The sweep file's line (1-based) where `needle` first appears, or 0.
int lineOf(const std::string& text, const std::string& needle) {
  const std::size_t at = text.find(needle);
  if (at == std::string::npos) return 0;
  return 1 + static_cast<int>(std::count(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(at), '\n'));
}

// The line of the first option the message names that the sweep file holds, else
// the line of the command.
int placeOf(const std::string& text, const std::string& message) {
  static const std::regex option(R"(--[A-Za-z][A-Za-z0-9-]*)");
  for (auto it = std::sregex_iterator(message.begin(), message.end(), option); it != std::sregex_iterator(); ++it)
    if (const int line = lineOf(text, "\"" + it->str() + "\""); line > 0) return line;
  return std::max(1, lineOf(text, "command"));
}

// Parses one design's command (without its first word) as the command line would.
std::string refusalOf(const std::vector<std::string>& command) {
  CLI::App app{"", "cohortix"};
  GlobalOptions global;
  CommandAction action;
  app.add_option("--plugin", global.pluginPath);
  app.require_subcommand(1);
  addRunCommand(app, global, action);
  addCheckCommand(app, global, action);
  addPowerCommand(app, global, action);
  std::vector<std::string> arguments(command.rbegin(), command.rend() - 1);  // CLI11 takes them reversed
  try {
    app.parse(arguments);
  } catch (const CLI::ParseError& error) {
    return error.what();
  }
  return "";
}

std::string describe(const host::sweep::Plan& plan, const host::sweep::PlannedDesign& design) {
  std::string text;
  for (std::size_t a = 0; a < plan.varied.size() && a < design.values.size(); ++a)
    text += (a ? ", " : "") + plan.varied[a] + " = " + design.values[a];
  return text;
}

}  // namespace

host::Status checkDesignCommands(const host::sweep::SweepDefinition& definition,
                                 const host::sweep::Plan& plan) {
  for (const host::sweep::PlannedDesign& design : plan.designs) {
    const std::string refusal = refusalOf(design.command);
    if (refusal.empty()) continue;
    const std::string varied = describe(plan, design);
    return host::Status::error(definition.file.string() + ":" +
                               std::to_string(placeOf(definition.text, refusal)) + ": design " + design.id +
                               (varied.empty() ? "" : " (" + varied + ")") + ": " + refusal);
  }
  return host::Status::ok();
}

}  // namespace cohortix::app
