#pragma once
// The host's state for one process: what the plug-in sees as the running host
// application. The session puts the host's services together (general services,
// protocol, design matrix, VTC) around one reporter, the run's files and the
// output path; the exported kt* functions forward to the services of the current
// session.

#include <filesystem>
#include <iosfwd>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "host/session/design_matrix_service.h"
#include "host/session/general_services.h"
#include "host/session/host_reporter.h"
#include "host/session/native_vtc_writer.h"
#include "host/session/output_files.h"
#include "host/session/output_path.h"
#include "host/session/progress.h"
#include "host/session/protocol_service.h"
#include "host/session/run_order.h"
#include "host/session/service_context.h"
#include "host/session/session_options.h"
#include "host/session/subject_report_recorder.h"
#include "host/session/vtc_service.h"

namespace cohortix::host {

class DiskInterface;

class HostSession {
 public:
  HostSession(SessionOptions options, std::ostream& log, std::ostream& messages);
  // Writes files through `disk`, which must outlive the session.
  HostSession(SessionOptions options, std::ostream& log, std::ostream& messages,
              DiskInterface& disk);
  virtual ~HostSession();
  HostSession(const HostSession&) = delete;
  HostSession& operator=(const HostSession&) = delete;

  const SessionOptions& options() const { return options_; }

  // The services the exported functions forward to.
  GeneralServices& general() { return general_; }
  ProtocolService& protocols() { return protocols_; }
  DesignMatrixService& designMatrices() { return *designMatrices_; }
  VTCService& vtcs() { return *vtcs_; }
  // The documents as they stand, and the busy cursor.
  const ProtocolDocument& protocol() const { return documents_.protocol; }
  const DesignMatrix& designMatrix() const { return documents_.designMatrix; }
  const VTCDocument* vtc() const { return documents_.vtc.get(); }
  bool busy() const { return general_.busy(); }

  // Where sinks and stages plug in, before the run.
  OutputPath& output() { return output_; }
  // The table through which the plug-in reports what it draws for every subject,
  // for the loader to hand it (abi/subject_report.h); each saved subject then
  // carries its components.
  const CohortixSubjectReport* subjectReport() const { return reports_.table(); }

  // Creates the output folder when it is missing; false, with a message, when it
  // cannot be created.
  bool prepareOutputFolder();
  // Waits for the last subject to leave the output path and reports any file that
  // could not be written. True when every file the plug-in asked for was written.
  bool finish();
  // What the run did, in one line: subjects simulated, files and bytes written,
  // seconds taken.
  std::string summary() const;
  // The files not written, by the names the plug-in gave (exports by their paths).
  const std::vector<std::string>& filesNotWritten() const { return files_.notWritten(); }
  // What the host itself reported (refused calls, failed writes), without prefix,
  // and the plug-in's own messages.
  const std::vector<std::string>& hostMessages() const { return reporter_.hostMessages(); }
  const std::vector<std::string>& messagesShown() const { return reporter_.messagesShown(); }

  // Every host call the plug-in made, as text, when options().recordCalls is set.
  void noteCall(const std::string& call);
  const std::vector<std::string>& calls() const { return calls_; }

 protected:
  // The seam for test doubles of the services that hand out the plug-in's data
  // addresses: built on the session's own context, they replace the real ones
  // before the plug-in runs.
  ServiceContext& context() { return context_; }
  void replace(std::unique_ptr<VTCService> vtcs) { vtcs_ = std::move(vtcs); }
  void replace(std::unique_ptr<DesignMatrixService> designMatrices) {
    designMatrices_ = std::move(designMatrices);
  }

 private:
  HostSession(SessionOptions options, std::ostream& log, std::ostream& messages,
              std::unique_ptr<DiskInterface> ownDisk, DiskInterface* disk);

  SessionOptions options_;
  std::unique_ptr<DiskInterface> ownDisk_;
  DiskInterface& disk_;
  Progress progress_;
  HostReporter reporter_;
  OutputFiles files_;
  NativeVTCWriter nativeWriter_;
  HostDocuments documents_;
  OutputPath output_;  // after every sink it holds: joined before they go
  SubjectReportRecorder reports_;
  ServiceContext context_;
  GeneralServices general_;
  ProtocolService protocols_;
  std::unique_ptr<DesignMatrixService> designMatrices_;
  std::unique_ptr<VTCService> vtcs_;
  std::vector<std::string> calls_;
};

// The session the exported host functions serve; null outside a run.
HostSession* currentHostSession();
void setCurrentHostSession(HostSession* session);

}  // namespace cohortix::host
