#include "host/replicate/expanded_study_file.h"

#include <stdlib.h>

#include <array>
#include <cerrno>
#include <string>
#include <string_view>
#include <system_error>

#include "control/control_file_reader.h"
#include "host/replicate/replicate_study.h"
#include "host/sweep/control_edit.h"

namespace cohortix::host::replicate {
namespace {

namespace fs = std::filesystem;

Result<fs::path> privateFolder() {
  std::error_code error;
  const fs::path base = fs::temp_directory_path(error);
  if (error) return Status::fromErrno(error.value()).context("cannot find the temporary folder");
  std::string pattern = (base / "cohortix-replicate.XXXXXX").string();
  if (::mkdtemp(pattern.data()) == nullptr)
    return Status::fromErrno(errno).context("cannot create a folder under " + base.string());
  return fs::path(pattern);
}

Result<std::unique_ptr<SimulationDesign>> designOf(const fs::path& file) {
  auto design = std::make_unique<SimulationDesign>();  // far too large for the stack
  std::string message;
  if (!parseControlFile(file.c_str(), *design, message)) return Status::error(message);
  return design;
}

}  // namespace

Result<std::unique_ptr<ExpandedStudyFile>> ExpandedStudyFile::write(const fs::path& study,
                                                                   int32_t replicate,
                                                                   DiskInterface& disk) {
  Result<sweep::ControlItems> items = sweep::readControlItems(study);
  if (!items) return items.status();
  Result<std::unique_ptr<SimulationDesign>> design = designOf(study);
  if (!design) return design.status();
  Result<sweep::EditedText> expanded = expandedStudy(items.value(), *design.value(), replicate);
  if (!expanded) return expanded.status().context("cannot make replicate " + std::to_string(replicate) + " of " + study.string());
  Result<fs::path> folder = privateFolder();
  if (!folder) return folder.status();
  std::unique_ptr<ExpandedStudyFile> file(new ExpandedStudyFile);
  file->folder_ = folder.value();
  file->file_ = file->folder_ / study.filename();
  const std::array<std::string_view, 1> parts = {expanded.value().text};
  if (Status written = disk.writeFile(file->file_, parts); !written)
    return written.context("cannot write " + file->file_.string());
  if (Status read = sweep::checkEditedFile(file->file_, items.value(), expanded.value()); !read)
    return read;
  Result<std::unique_ptr<SimulationDesign>> expandedDesign = designOf(file->file_);
  if (!expandedDesign) return expandedDesign.status();
  file->selection_ = std::make_unique<SubjectSelection>(
      replicateSelection(*design.value(), *expandedDesign.value(), replicate));
  return file;
}

ExpandedStudyFile::~ExpandedStudyFile() { remove(); }

void ExpandedStudyFile::remove() noexcept {
  if (folder_.empty()) return;
  std::error_code ignored;
  fs::remove_all(folder_, ignored);
}

}  // namespace cohortix::host::replicate
