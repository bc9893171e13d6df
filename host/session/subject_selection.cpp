#include "host/session/subject_selection.h"

#include "host/session/run_order.h"

namespace cohortix::host {

SubjectSelection::SubjectSelection(const std::vector<RunSubject>& pluginOrder,
                                   const std::vector<RunSubject>& study,
                                   const std::vector<std::optional<std::size_t>>& keptAs) {
  for (std::size_t k = 0; k < pluginOrder.size() && k < keptAs.size(); ++k) {
    const SubjectFileNames& from = pluginOrder[k].files;
    if (!keptAs[k] || *keptAs[k] >= study.size()) {
      for (const std::string* name : {&from.protocol, &from.designMatrix, &from.vtc})
        files_[*name] = {false, ""};
      continue;
    }
    const SubjectFileNames& to = study[*keptAs[k]].files;
    files_[from.protocol] = {true, to.protocol};
    files_[from.designMatrix] = {true, to.designMatrix};
    files_[from.vtc] = {true, to.vtc};
  }
}

Result<SelectedFile> SubjectSelection::file(const std::string& pluginName) const {
  const auto found = files_.find(pluginName);
  if (found != files_.end()) return found->second;
  return Status::error(pluginName + " is the file of no subject the host expects the plug-in to simulate");
}

}  // namespace cohortix::host
