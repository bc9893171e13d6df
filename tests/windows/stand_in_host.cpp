// A stand-in for the Windows host application in the Wine tests: it exports the
// host functions, loads the plug-in DLL and drives it as the host does. Built as
// TessalyKT.exe and, to show that binding needs that module name, as OtherHost.exe.
//
//   HOST PLUGIN about
//       the metadata texts, one "name: text" line each
//   HOST PLUGIN init MAJOR MINOR PATCH
//       reports that version; prints "message: TEXT" for every message shown and
//       then "initPlugin: true" or "initPlugin: false"
//   HOST PLUGIN run CONTROL OUTPUT-FOLDER
//       one whole run as the host application makes it: log lines on standard
//       output, messages on standard error
//   HOST PLUGIN run-reported CONTROL OUTPUT-FOLDER
//       the same run with the plug-in asked for its subject reports, as the
//       cohortix command asks; ends with "subjects reported: N" on standard error
//
// Exit status: 0 done (the run completed), 1 the run failed, 2 usage, 3 the
// plug-in could not be loaded or refused to initialise.

#include <cstdlib>
#include <iostream>
#include <memory>
#include <sstream>
#include <string>

#include "host/session/host_session.h"
#include "host/loader/plugin_library.h"
#include "host/loader/plugin_object.h"
#include "host/loader/plugin_run.h"

using namespace cohortix::host;

namespace {

constexpr int kDone = 0, kRunFailed = 1, kUsage = 2, kUnavailable = 3;

std::unique_ptr<PluginLibrary> openPlugin(const std::string& path) {
  std::string error;
  std::unique_ptr<PluginLibrary> library = PluginLibrary::open(path, error);
  if (library == nullptr) std::cerr << "cannot load the plug-in " << path << ": " << error << '\n';
  return library;
}

int showAbout(const std::string& plugin) {
  const std::unique_ptr<PluginLibrary> library = openPlugin(plugin);
  if (library == nullptr) return kUnavailable;
  const PluginEntryPoints& e = library->entryPoints();
  std::cout << "getPluginName: " << e.getPluginName() << '\n'
            << "getPluginDescription: " << e.getPluginDescription() << '\n'
            << "getAuthor: " << e.getAuthor() << '\n'
            << "getHelpFile: " << e.getHelpFile() << '\n'
            << "getPluginVersion: " << e.getPluginVersion() << '\n'
            << "getGUIScript: " << e.getGUIScript() << '\n';
  return kDone;
}

int initialiseOnly(const std::string& plugin, const HostVersion& version) {
  const std::unique_ptr<PluginLibrary> library = openPlugin(plugin);
  if (library == nullptr) return kUnavailable;
  SessionOptions options;
  options.version = version;
  std::ostringstream log, messages;
  HostSession session(options, log, messages);
  setCurrentHostSession(&session);
  std::unique_ptr<TSKTPluginInterface, PluginObjectDeleter> object(
      library->entryPoints().createPlugin());
  const bool ready = cohortixCallInitPlugin(object.get());
  object.reset();
  setCurrentHostSession(nullptr);
  for (const std::string& message : session.messagesShown())
    std::cout << "message: " << message << '\n';
  std::cout << "initPlugin: " << (ready ? "true" : "false") << '\n';
  return ready ? kDone : kUnavailable;
}

// Counts the saved subjects that carry what the plug-in reported of them.
class ReportCount final : public SubjectSink {
 public:
  void subjectSaved(const SavedSubject& subject, SubjectOutcomes&) override {
    if (subject.components != nullptr && !subject.components->voxelBaseline.empty()) ++reported;
  }
  int reported = 0;
};

int runStudy(const std::string& plugin, const std::string& control, const std::string& output,
             bool reported) {
  SessionOptions options;
  options.controlFile = control;
  options.outputDir = output;
  ReportCount count;
  HostSession session(options, std::cout, std::cerr);
  session.output().addSink(count);
  const PluginRunResult result = runPlugin(plugin, session, reported);
  session.finish();
  if (reported) std::cerr << "subjects reported: " << count.reported << '\n';
  switch (result.outcome) {
    case PluginRunOutcome::Completed: return kDone;
    case PluginRunOutcome::Failed: return kRunFailed;
    case PluginRunOutcome::Refused: return kUnavailable;
    case PluginRunOutcome::Unavailable: break;
  }
  std::cerr << result.error << '\n';
  return kUnavailable;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string mode = argc > 2 ? argv[2] : "";
  if (argc == 3 && mode == "about") return showAbout(argv[1]);
  if (argc == 6 && mode == "init")
    return initialiseOnly(argv[1], {std::atoi(argv[3]), std::atoi(argv[4]), std::atoi(argv[5])});
  if (argc == 5 && (mode == "run" || mode == "run-reported"))
    return runStudy(argv[1], argv[3], argv[4], mode == "run-reported");
  std::cerr << "usage: " << argv[0] << " PLUGIN about | init MAJOR MINOR PATCH"
            << " | run CONTROL OUTPUT-FOLDER | run-reported CONTROL OUTPUT-FOLDER\n";
  return kUsage;
}
