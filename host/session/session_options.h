#pragma once
// What a host session is set up with: the answers it gives the plug-in (the control
// file, the VMR, the version), where the run's files go, and what it shows.

#include <filesystem>
#include <optional>
#include <vector>

#include "host/session/run_order.h"
#include "host/session/subject_selection.h"

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
  // False: the native files are kept in memory only (the plug-in still saves and
  // loads them back), for runs that want the exports alone.
  bool writeNative = true;
  // The study's subjects in run order, from the control file as the host read it
  // for itself; none when the host could not read it.
  std::optional<std::vector<RunSubject>> study;
  // What the dialog answers when the plug-in is to read another file than the
  // study's own (a replicate's expanded study); empty: controlFile.
  std::filesystem::path pluginControlFile;
  // The plug-in's subjects the run keeps and their names; none: all, as saved.
  std::optional<SubjectSelection> selection;
  bool recordCalls = false;           // keep the text of every host call (for tests)
  bool hasVMR = true;
  int vmrDims[3] = {256, 256, 256};
  HostVersion version;                // what ktGetVersionOfTessalyKT reports
};

}  // namespace cohortix::host
