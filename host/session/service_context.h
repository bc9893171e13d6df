#pragma once
// What the host's services share: the session's options, the documents the
// plug-in works on, the reporter, the run's files and the output path.

#include <memory>

#include "host/documents/design_matrix.h"
#include "host/documents/protocol_document.h"
#include "host/documents/vtc_document.h"
#include "host/session/session_options.h"

namespace cohortix::host {

class HostReporter;
class OutputFiles;
class OutputPath;
class SubjectReportRecorder;

// The host's current documents: one protocol, one design matrix, the current
// VMR's VTC (none until the plug-in creates one).
struct HostDocuments {
  ProtocolDocument protocol;
  DesignMatrix designMatrix;
  std::unique_ptr<VTCDocument> vtc;
};

struct ServiceContext {
  const SessionOptions& options;
  HostDocuments& documents;
  HostReporter& reporter;
  OutputFiles& files;
  OutputPath& output;
  SubjectReportRecorder& reports;  // what the plug-in reports of the subject it makes
};

}  // namespace cohortix::host
