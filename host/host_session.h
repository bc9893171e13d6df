#pragma once
// The host's state for one process: what the plug-in sees as the running host
// application. The exported kt* functions forward to the current session.

#include <cstdint>
#include <filesystem>
#include <iosfwd>
#include <string>
#include <vector>

#include "plugin/host_records.h"

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
  bool recordCalls = false;           // keep the text of every host call (for tests)
  bool hasVMR = true;
  int vmrDims[3] = {256, 256, 256};
};

class HostSession {
 public:
  HostSession(SessionOptions options, std::ostream& log, std::ostream& messages);
  ~HostSession();
  HostSession(const HostSession&) = delete;
  HostSession& operator=(const HostSession&) = delete;

  const SessionOptions& options() const { return options_; }
  const std::vector<std::string>& messagesShown() const { return messagesShown_; }
  bool busy() const { return busy_; }

  // Every host call the plug-in made, as text, when options().recordCalls is set.
  void noteCall(const std::string& call);
  const std::vector<std::string>& calls() const { return calls_; }

  // General services.
  HostVersion version() const { return HostVersion{}; }
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
  SessionOptions options_;
  std::ostream& log_;
  std::ostream& messages_;
  std::vector<std::string> messagesShown_;
  std::vector<std::string> calls_;
  bool busy_ = false;
  char vmr_ = 0;  // stands for the current VMR document: its address is the handle
};

// The session the exported host functions serve; null outside a run.
HostSession* currentHostSession();
void setCurrentHostSession(HostSession* session);

}  // namespace cohortix::host
