#include "host/report/study_run.h"

#include <algorithm>
#include <system_error>

#include "control/control_file_reader.h"
#include "control/output_names.h"
#include "host/export/bids_names.h"
#include "host/io/disk_interface.h"

namespace cohortix::host {
namespace {

namespace fs = std::filesystem;

bool isFile(const fs::path& path) {
  std::error_code error;
  return fs::is_regular_file(path, error);
}

// The one control file in folder, or empty when there is none or more than one.
Result<fs::path> onlyControlFileIn(const fs::path& folder, const std::string& hint) {
  std::vector<fs::path> found;
  std::error_code error;
  for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error))
    if (it->path().extension() == ".cxd" && isFile(it->path())) found.push_back(it->path());
  if (found.size() == 1) return found.front();
  if (found.empty())
    return Status::error(folder.string() + " holds no control file (.cxd): " + hint);
  return Status::error(folder.string() + " holds " + std::to_string(found.size()) +
                       " control files: " + hint);
}

Result<fs::path> controlFileOf(const fs::path& root, RunLayout layout, const fs::path& given) {
  if (!given.empty()) return given;
  const std::string hint = "give it with --control STUDY.cxd";
  if (layout == RunLayout::Bids) return onlyControlFileIn(root / "code", hint);
  // `cohortix run` keeps the control file out of its output folder, but a user may
  // have put it there.
  Result<fs::path> beside = onlyControlFileIn(root, hint);
  if (beside) return beside;
  return Status::error("a folder of native files does not hold the control file of its run: " +
                       hint);
}

fs::path boldVolume(const fs::path& stem) {
  fs::path gzip = stem;
  gzip += "_bold.nii.gz";
  if (isFile(gzip)) return gzip;
  fs::path plain = stem;
  plain += "_bold.nii";
  return plain;
}

SubjectFiles filesOf(const StudyRun& run, int32_t g, int32_t s) {
  const SimulationDesign& design = *run.design;
  SubjectFiles files;
  files.g = g;
  files.s = s;
  files.subjectNumber = g * design.NrOfSubjectsPerGroup + s + 1;
  files.groupNumber = g + 1;
  if (run.layout == RunLayout::Native) {
    files.name = outputFileName(design, g, s, "");
    files.protocol = run.root / outputFileName(design, g, s, kProtocolExtension);
    files.design = run.root / outputFileName(design, g, s, kDesignMatrixExtension);
    files.data = run.root / outputFileName(design, g, s, kVolumeTimeCourseExtension);
    return files;
  }
  const std::string label = bidsSubjectLabel(files.subjectNumber, design.NrOfSubjects);
  const std::string stem = bidsFunctionalStem(label, bidsTaskLabel(design.ExperimentName));
  files.name = bidsSubjectId(label);
  const fs::path func = run.root / files.name / "func";
  files.protocol = func / (stem + "_events.tsv");
  files.design = run.root / "derivatives" / "cohortix" / files.name / "func" /
                 (stem + "_desc-design_timeseries.tsv");
  files.data = boldVolume(func / stem);
  return files;
}

}  // namespace

Result<StudyRun> openStudyRun(const fs::path& root, const fs::path& controlFile,
                              DiskInterface& disk) {
  std::error_code error;
  if (!fs::is_directory(root, error))
    return Status::error(root.string() + " is not a folder of a run's output");
  StudyRun run;
  run.root = root;
  run.layout = isFile(root / "dataset_description.json") ? RunLayout::Bids : RunLayout::Native;
  Result<fs::path> control = controlFileOf(root, run.layout, controlFile);
  if (!control) return control.status();
  run.controlFile = control.value();
  Result<std::string> text = disk.readFile(run.controlFile);
  if (!text) return text.status().context("cannot read " + run.controlFile.string());
  run.controlText = std::move(text).value();
  // The design is far too large for the stack.
  run.design = std::make_unique<SimulationDesign>();
  std::string message;
  if (!parseControlFile(run.controlFile.c_str(), *run.design, message))
    return Status::error(message);
  const SimulationDesign& design = *run.design;
  for (int32_t g = 0; g < design.NrOfGroups; ++g) {
    for (int32_t s = 0; s < design.NrOfSubjectsPerGroup; ++s) {
      SubjectFiles files = filesOf(run, g, s);
      const int present = isFile(files.protocol) + isFile(files.design) + isFile(files.data);
      if (present == 3)
        run.subjects.push_back(std::move(files));
      else if (present > 0)
        run.incompleteSubjects.push_back(files.name);
    }
  }
  if (run.subjects.empty()) {
    const SubjectFiles first = filesOf(run, 0, 0);
    return Status::error(root.string() + " holds no subject of the study " +
                         run.controlFile.filename().string() + " (its first would be " +
                         first.data.lexically_relative(root).string() + ")");
  }
  return run;
}

}  // namespace cohortix::host
