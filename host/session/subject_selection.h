#pragma once
// Which of the subjects the plug-in simulates a run keeps, and the names it writes
// them under. A replicate's run (host/replicate) has the plug-in simulate more
// subjects than the study holds and keeps some of them, under the study's names;
// nothing of the others is written. Without a selection every subject is kept
// under the names the plug-in gives.

#include <cstddef>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "host/io/status.h"
#include "host/session/saved_subject.h"

namespace cohortix::host {

struct RunSubject;

// What becomes of a file the plug-in saves.
struct SelectedFile {
  bool kept = true;
  std::string name;  // the name it is written under, when kept
};

class SubjectSelection {
 public:
  // pluginOrder: the subjects the plug-in simulates, in its run order; keptAs[k]:
  // the index in `study` of the subject the plug-in's k-th becomes, or none when it
  // is skipped.
  SubjectSelection(const std::vector<RunSubject>& pluginOrder, const std::vector<RunSubject>& study,
                   const std::vector<std::optional<std::size_t>>& keptAs);

  // An error for a name that is no file of the plug-in's subjects.
  Result<SelectedFile> file(const std::string& pluginName) const;

 private:
  std::map<std::string, SelectedFile> files_;
};

}  // namespace cohortix::host
