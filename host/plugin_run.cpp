#include "host/plugin_run.h"

#include <memory>

#include "host/host_session.h"
#include "host/plugin_library.h"
#include "plugin/plugin_interface.h"

namespace cohortix::host {
namespace {

// Makes the session current for as long as the plug-in may call into the host.
class SessionScope {
 public:
  explicit SessionScope(HostSession& session) { setCurrentHostSession(&session); }
  ~SessionScope() { setCurrentHostSession(nullptr); }
};

PluginRunOutcome initialiseAndExecute(TSKTPluginInterface& plugin) {
  if (!plugin.initPlugin()) return PluginRunOutcome::Refused;
  return plugin.execute() ? PluginRunOutcome::Completed : PluginRunOutcome::Failed;
}

}  // namespace

PluginRunResult runPlugin(const std::filesystem::path& path, HostSession& session) {
  PluginRunResult result;
  std::unique_ptr<PluginLibrary> library = PluginLibrary::open(path, result.error);
  if (library == nullptr) {
    result.error = "cannot load the plug-in " + path.string() + ": " + result.error;
    return result;
  }
  SessionScope scope(session);
  // The host owns the object and deletes it through the interface's virtual destructor.
  std::unique_ptr<TSKTPluginInterface> plugin(library->entryPoints().createPlugin());
  result.outcome = initialiseAndExecute(*plugin);
  return result;
}

}  // namespace cohortix::host
