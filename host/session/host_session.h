#pragma once
// The host's state for one process: what the plug-in sees as the running host
// application. The exported kt* functions forward to the current session.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <iosfwd>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "host/session/background_writer.h"
#include "host/documents/design_matrix.h"
#include "host/session/progress.h"
#include "host/documents/protocol_document.h"
#include "host/session/record_pattern.h"
#include "host/documents/vtc_document.h"
#include "abi/host_records.h"

namespace cohortix::host {

struct HostVersion {
  int major = 2;
  int minor = 0;
  int patch = 0;
};

struct SessionOptions {
  std::filesystem::path controlFile;  // the open-file dialog's answer; empty: cancelled
  std::filesystem::path outputDir = ".";
  double repetitionTime = 2.0;        // seconds per volume
  bool quiet = false;                 // no log lines, no progress; messages stay
  bool showProgress = false;          // draw the progress line on the message output
  int nrOfSubjects = 0;               // for the progress line; 0: not known
  bool recordCalls = false;           // keep the text of every host call (for tests)
  bool hasVMR = true;
  int vmrDims[3] = {256, 256, 256};
  // Fault injection, for tests of the plug-in's failure paths: the host hands out
  // null instead of the VTC's data or a predictor's time course.
  bool faultInjectionNullVTCData = false;
  bool faultInjectionNullPredictor = false;
  HostVersion version;                // what ktGetVersionOfTessalyKT reports
};

class DiskInterface;
class StudyExports;

class HostSession {
 public:
  HostSession(SessionOptions options, std::ostream& log, std::ostream& messages);
  // Writes and reads files through `disk`, which must outlive the session.
  HostSession(SessionOptions options, std::ostream& log, std::ostream& messages,
              DiskInterface& disk);
  ~HostSession();
  HostSession(const HostSession&) = delete;
  HostSession& operator=(const HostSession&) = delete;

  const SessionOptions& options() const { return options_; }
  const std::vector<std::string>& messagesShown() const { return messagesShown_; }
  bool busy() const { return busy_; }

  // Creates the output folder when it is missing; false, with a message, when it
  // cannot be created.
  bool prepareOutputFolder();
  // Waits for every write still under way (VTCs are written while the next subject
  // is simulated) and reports any that failed. True when every file the plug-in
  // asked for was written.
  bool finish();
  // The files the plug-in asked for that could not be written, by the names it gave.
  const std::vector<std::string>& filesNotWritten() const { return filesNotWritten_; }
  // What the host itself reported (refused calls, failed writes), without prefix.
  const std::vector<std::string>& hostMessages() const { return hostMessages_; }

  // The exports made after each native file is saved; none when null. They must
  // outlive the run. A failed export is reported and counted as a file not written.
  void setExports(StudyExports* exports) { exports_ = exports; }
  DiskInterface& disk() { return disk_; }

  // The documents as they stand.
  const ProtocolDocument& protocol() const { return protocol_; }
  const DesignMatrix& designMatrix() const { return designMatrix_; }
  const VTCDocument* vtc() const { return vtc_.get(); }

  // Every host call the plug-in made, as text, when options().recordCalls is set.
  void noteCall(const std::string& call);
  const std::vector<std::string>& calls() const { return calls_; }

  // General services.
  HostVersion version() const { return options_.version; }
  void showLogTab();
  void logText(const char* text);
  void messageBox(const char* text);
  int openFileName(const char* prompt, const char* filter, char* path);
  void* currentVMR(int* dim1, int* dim2, int* dim3);
  void showBusyCursor();
  void stopBusyCursor();
  void updateActiveWindow();

  // Documents: protocol, design matrix, VTC.
  bool clearProtocol();
  bool getProtocol(ProtocolRecord* record);
  bool setProtocol(const ProtocolRecord* record);
  bool addProtocolCondition(const ConditionRecord* record);
  bool addProtocolConditionInterval(int condition, int first, int last);
  bool getProtocolCondition(int condition, ConditionRecord* record);
  bool saveProtocol(const char* fileName);
  bool loadProtocol(const char* fileName);
  bool clearDesignMatrix();
  bool addPredictor(const ConditionRecord* record);
  bool setPredictorValuesFromCondition(const ConditionRecord* record, int condition, float value);
  bool applyTwoGammaHRFToPredictor(int predictor);
  float* predictor(int predictor);
  bool saveDesignMatrix(const char* fileName);
  bool createVTC(int nrOfVolumes, const VTCHeader* header);
  bool getVTCHeader(VTCHeader* header);
  float* vtcData();
  bool saveVTC(const char* fileName);

 private:
  // The host's own report, e.g. of a call it refused, on the message output.
  void report(const std::string& text);
  // A refused call: the report, then the false result the call gives.
  bool refuse(const std::string& text);
  bool conditionExists(const char* call, int condition);
  bool predictorExists(const char* call, int predictor);
  bool recordCameBack(const char* call, const void* record, HostRegion region, const char* what,
                      bool mayBeFresh);
  int designMatrixLength() const;

  // Writes an output file under the plug-in's name; reports a refused name or a
  // failed write and keeps the name among the files not written.
  bool writeOutput(const char* call, const char* fileName, std::span<const std::string_view> parts);
  bool readInput(const char* fileName, std::string* contents);
  // Waits for the VTC write under way and takes note of how it went.
  void collectBackgroundWrite();
  bool checkedOutputName(const char* call, const char* fileName);
  // Runs one export of the file just saved under fileName, if exports are set.
  void exportSaved(const char* fileName, const std::function<void(StudyExports&)>& exporter);
  void noteWritten(const std::string& name, bool written);

  SessionOptions options_;
  std::ostream& log_;
  std::ostream& messages_;
  std::unique_ptr<DiskInterface> ownDisk_;
  DiskInterface& disk_;
  std::vector<std::string> messagesShown_;
  std::vector<std::string> hostMessages_;
  std::vector<std::string> calls_;
  std::vector<std::string> filesNotWritten_;
  bool busy_ = false;
  char vmr_ = 0;  // stands for the current VMR document: its address is the handle
  ProtocolDocument protocol_;
  DesignMatrix designMatrix_;
  std::unique_ptr<VTCDocument> vtc_;
  std::vector<double> hrfKernel_;
  StudyExports* exports_ = nullptr;
  Progress progress_;
  BackgroundWriter writer_;  // declared last: joined before anything it uses goes
};

// The session the exported host functions serve; null outside a run.
HostSession* currentHostSession();
void setCurrentHostSession(HostSession* session);

}  // namespace cohortix::host
