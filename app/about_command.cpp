// cohortix about: what the plug-in says of itself.

#include <CLI/CLI.hpp>
#include <iostream>

#include "app/command.h"
#include "host/loader/plugin_library.h"

namespace cohortix::app {
namespace {

ExitStatus showAbout(const GlobalOptions& global) {
  std::string error;
  const std::string path = pluginPathOf(global);
  auto library = host::PluginLibrary::open(path, error);
  if (library == nullptr) {
    reportError("cannot load the plug-in " + path + ": " + error);
    return ExitStatus::PluginUnavailable;
  }
  const host::PluginEntryPoints& e = library->entryPoints();
  std::cout << e.getPluginName() << '\n'
            << "Version: " << e.getPluginVersion() << '\n'
            << "Author: " << host::htmlToText(e.getAuthor()) << '\n'
            << '\n'
            << host::htmlToText(e.getPluginDescription()) << '\n';
  return ExitStatus::Success;
}

}  // namespace

void addAboutCommand(CLI::App& app, const GlobalOptions& global, CommandAction& action) {
  CLI::App* command = app.add_subcommand("about", "Show the plug-in's name, version and author");
  command->callback([&action, &global] { action = [&global] { return showAbout(global); }; });
}

}  // namespace cohortix::app
