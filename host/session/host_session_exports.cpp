// The host session's exports: run after each native file is saved, their failures
// reported like those of the native files.

#include "host/export/export_file.h"
#include "host/session/host_session.h"
#include "host/export/study_exports.h"

namespace cohortix::host {

void HostSession::exportSaved(const char* fileName,
                              const std::function<void(StudyExports&)>& exporter) {
  if (exports_ == nullptr) return;
  try {
    exporter(*exports_);
  } catch (const ExportError& error) {
    noteWritten(error.file().string(), false);
    report(error.what());
  } catch (const std::exception& error) {
    noteWritten(std::string("the exports of ") + fileName, false);
    report(std::string("cannot export ") + fileName + ": " + error.what());
  }
}

}  // namespace cohortix::host
