#include "host/loader/plugin_run.h"

#include <memory>

#include "host/session/host_session.h"
#include "host/loader/plugin_library.h"
#include "host/loader/plugin_object.h"

namespace cohortix::host {
namespace {

// Makes the session current for as long as the plug-in may call into the host.
class SessionScope {
 public:
  explicit SessionScope(HostSession& session) { setCurrentHostSession(&session); }
  ~SessionScope() { setCurrentHostSession(nullptr); }
};

// Asks the plug-in, when it can tell, for what it draws for every subject, for as
// long as the session runs it; the table is the session's.
class SubjectReportScope {
 public:
  SubjectReportScope(const PluginEntryPoints& entryPoints, const HostSession& session)
      : reportSubjects_(entryPoints.reportSubjects) {
    if (reportSubjects_ != nullptr) reportSubjects_(session.subjectReport());
  }
  ~SubjectReportScope() {
    if (reportSubjects_ != nullptr) reportSubjects_(nullptr);
  }
  SubjectReportScope(const SubjectReportScope&) = delete;
  SubjectReportScope& operator=(const SubjectReportScope&) = delete;

 private:
  uint32_t (*reportSubjects_)(const CohortixSubjectReport*);
};

PluginRunOutcome initialiseAndExecute(TSKTPluginInterface* plugin) {
  if (!cohortixCallInitPlugin(plugin)) return PluginRunOutcome::Refused;
  return cohortixCallExecute(plugin) ? PluginRunOutcome::Completed : PluginRunOutcome::Failed;
}

}  // namespace

PluginRunResult runPlugin(const std::filesystem::path& path, HostSession& session,
                          bool askForReports) {
  PluginRunResult result;
  std::unique_ptr<PluginLibrary> library = PluginLibrary::open(path, result.error);
  if (library == nullptr) {
    result.error = "cannot load the plug-in " + path.string() + ": " + result.error;
    return result;
  }
  SessionScope scope(session);
  PluginEntryPoints entryPoints = library->entryPoints();
  if (!askForReports) entryPoints.reportSubjects = nullptr;
  const SubjectReportScope reports(entryPoints, session);
  std::unique_ptr<TSKTPluginInterface, PluginObjectDeleter> plugin(
      library->entryPoints().createPlugin());
  result.outcome = initialiseAndExecute(plugin.get());
  return result;
}

}  // namespace cohortix::host
