#include "host/anatomy/anatomy_stage.h"

#include <stdexcept>

#include "host/export/bids_names.h"
#include "host/export/decimal_text.h"
#include "host/export/export_file.h"
#include "host/export/json_text.h"
#include "host/export/nifti_writer.h"
#include "host/io/plain_file_name.h"
#include "host/motion/motion_truth.h"
#include "host/motion/rigid_resampling.h"

namespace cohortix::host::anatomy {
namespace {

namespace fs = std::filesystem;

const char* niftiEnding(bool gzip) { return gzip ? ".nii.gz" : ".nii"; }

void attempt(SubjectOutcomes& outcomes, const Status& written) {
  if (!written) outcomes.notWritten(written.file(), written);
}

std::string sidecarFor(const fs::path& image) {
  std::string name = image.string();
  for (const char* ending : {".nii.gz", ".nii"})
    if (name.size() > std::string(ending).size() &&
        name.compare(name.size() - std::string(ending).size(), std::string::npos, ending) == 0)
      return name.substr(0, name.size() - std::string(ending).size()) + ".json";
  return name + ".json";
}

std::string sliceTimingJson(const AnatomySlices& slices) {
  std::string times;
  for (std::size_t k = 0; k < slices.times.size(); ++k) times += (k == 0 ? "" : ", ") + secondsText(slices.times[k]);
  const std::string multiband = slices.multiband > 1
                                    ? "\n  \"MultibandAccelerationFactor\": " + std::to_string(slices.multiband) + ","
                                    : "";
  return "{\n  \"SliceOrder\": \"" + slices.order + "\"," + multiband + "\n  \"SliceTiming\": [" + times +
         "],\n  \"Units\": \"s after the volume's start, one per slice along the VTC's z axis (the NIfTI "
         "volumes' third axis)\"\n}\n";
}

}  // namespace

void AnatomyStage::prepare(const SavedSubject& subject, std::span<float> data) {
  if (subject.components == nullptr)
    throw std::runtime_error(
        "the anatomy recomposes a subject from what the plug-in reports it drew, and the loaded "
        "plug-in reports nothing");
  const std::size_t volumes = subject.nrOfVolumes > 0 ? static_cast<std::size_t>(subject.nrOfVolumes) : 0;
  composition_.composeData(*subject.components, subject.designMatrix, data, volumes, &subject.protocol);
}

AnatomyOutputs::AnatomyOutputs(const Anatomy& anatomy, const Composition& composition,
                               AnatomyOutputSetting setting, DiskInterface& disk)
    : anatomy_(anatomy), composition_(composition), setting_(std::move(setting)), disk_(disk),
      head_(anatomy.head.begin(), anatomy.head.end()) {}

Status AnatomyOutputs::writeHead(const fs::path& file, const std::vector<float>& head,
                                 const std::string& ownAnatomy) {
  NiftiMaps maps;
  const AnatomyGrid& grid = anatomy_.grid;
  maps.dims = {grid.dims[0], grid.dims[1], grid.dims[2]};
  maps.affine = talairachAffine(grid.box());
  maps.data = head.data();
  maps.description = ownAnatomy.empty() ? "T1-weighted, Talairach, 1 mm" : "T1-weighted, own anatomy, 1 mm";
  if (Status written = writeNiftiMaps(disk_, file, maps); !written) return written;
  if (ownAnatomy.empty())
    return writeExportText(disk_, sidecarFor(file),
                           "{\n  \"Description\": \"T1-weighted anatomy of the simulated subject "
                           "(the study's template, in Talairach space, 1 mm)\"\n}\n");
  return writeExportText(disk_, sidecarFor(file),
                         "{\n  \"Description\": \"T1-weighted anatomy of the simulated subject (the study's "
                         "template moved by the subject's own affine, on the template's Talairach grid, 1 mm)\",\n"
                         "  \"AnatomyTransform\": " + ownAnatomy + "\n}\n");
}

void AnatomyOutputs::subjectSaved(const SavedSubject& subject, SubjectOutcomes& outcomes) {
  if (!subject.known() || !subject.protocolSaved) return;
  if (!setting_.nativeFiles && setting_.bidsDir.empty()) return;
  // The subject's own head, when each subject has its own anatomy.
  std::vector<float> moved;
  std::string ownAnatomy;
  if (const auto& variation = composition_.variation()) {
    const SubjectAffine own = variation->affineOf(subject.subjectNumber);
    moved = movedHead(anatomy_, own);
    ownAnatomy = subjectAffineJson(own, variation->ranges);
  }
  const std::vector<float>& head = ownAnatomy.empty() ? head_ : moved;
  const auto writeHead = [&](const fs::path& file) { return this->writeHead(file, head, ownAnatomy); };
  if (setting_.nativeFiles) {
    const std::string stem = fs::path(subject.files.vtc).stem().string();
    attempt(outcomes, writeHead(resolveOutputName(setting_.outputDir,
                                                  stem + "_T1w" + niftiEnding(setting_.gzip))));
    writeMotionTruth(subject, resolveOutputName(setting_.outputDir, stem + "_truth_motion").string(), outcomes);
  }
  if (setting_.bidsDir.empty()) return;
  const std::string label = bidsSubjectLabel(subject.subjectNumber, setting_.largestSubjectNumber);
  const fs::path folder = setting_.bidsDir / bidsSubjectId(label) / "anat";
  if (Status made = makeExportFolder(disk_, folder); !made) return attempt(outcomes, made);
  attempt(outcomes, writeHead(folder / (bidsSubjectId(label) + "_T1w" + niftiEnding(setting_.gzip))));
  if (!setting_.bidsTruth || !composition_.motion()) return;
  // Beside the subject's other truth, under the dataset's derivatives.
  const fs::path derived = setting_.bidsDir / "derivatives" / "cohortix" / bidsSubjectId(label) / "func";
  if (Status made = makeExportFolder(disk_, derived); !made) return attempt(outcomes, made);
  writeMotionTruth(subject,
                   (derived / (bidsFunctionalStem(label, bidsTaskLabel(setting_.experiment)) + "_desc-motion_timeseries"))
                       .string(),
                   outcomes);
}

void AnatomyOutputs::writeMotionTruth(const SavedSubject& subject, const std::string& stem,
                                      SubjectOutcomes& outcomes) {
  const auto& motion = composition_.motion();
  if (!motion) return;
  const VTCAnatomy& on = composition_.anatomy();
  const motion::RigidResampler grid({on.dims.DimX, on.dims.DimY, on.dims.DimZ}, talairachAffine(on.box));
  const std::size_t volumes = subject.nrOfVolumes > 0 ? static_cast<std::size_t>(subject.nrOfVolumes) : 0;
  attempt(outcomes, writeExportText(disk_, stem + ".tsv",
                                    motion::motionTableTsv(motion->posesOf(subject.subjectNumber, volumes))));
  attempt(outcomes, writeExportText(disk_, stem + ".json", motion::motionSidecarJson(motion->profile, grid.centre())));
}

void AnatomyOutputs::writeGridTruth(const fs::path& mask, const fs::path& tissue,
                                    SubjectOutcomes& outcomes) {
  const VTCAnatomy& on = composition_.anatomy();
  NiftiMaps labels;
  labels.dims = on.dims;
  labels.affine = talairachAffine(on.box);
  labels.labels = on.brainMask.data();
  labels.intent = MapIntent::Label;
  labels.description = "brain mask: 1 brain";
  attempt(outcomes, writeNiftiMaps(disk_, mask, labels));
  std::vector<float> fractions;
  for (int c : {kGrey, kWhite, kCsf})
    fractions.insert(fractions.end(), on.tissue[c].begin(), on.tissue[c].end());
  NiftiMaps maps;
  maps.dims = on.dims;
  maps.affine = talairachAffine(on.box);
  maps.NrOfMaps = 3;
  maps.data = fractions.data();
  maps.description = "tissue fractions: grey, white, CSF";
  attempt(outcomes, writeNiftiMaps(disk_, tissue, maps));
  attempt(outcomes, writeExportText(disk_, sidecarFor(tissue),
                                    "{\n  \"Volumes\": [\"GM\", \"WM\", \"CSF\"],\n  \"Units\": "
                                    "\"fraction of the voxel\"\n}\n"));
}

void AnatomyOutputs::runFinished(SubjectOutcomes& outcomes) {
  const std::string nii = niftiEnding(setting_.gzip);
  if (setting_.nativeFiles)
    writeGridTruth(resolveOutputName(setting_.outputDir, setting_.experiment + "_truth_brain_mask" + nii),
                   resolveOutputName(setting_.outputDir, setting_.experiment + "_truth_tissue" + nii),
                   outcomes);
  // The slices' times beside the native files (a dataset's bold sidecars give them).
  if (setting_.nativeFiles && composition_.slices())
    attempt(outcomes, writeExportText(disk_,
                                      resolveOutputName(setting_.outputDir,
                                                        setting_.experiment + "_truth_slice_timing.json"),
                                      sliceTimingJson(*composition_.slices())));
  if (setting_.bidsDir.empty() || !setting_.bidsTruth) return;
  const fs::path folder = setting_.bidsDir / "derivatives" / "cohortix";
  if (Status made = makeExportFolder(disk_, folder); !made) return attempt(outcomes, made);
  const std::string stem = "task-" + bidsTaskLabel(setting_.experiment) + "_space-Talairach";
  writeGridTruth(folder / (stem + "_desc-brain_mask" + nii), folder / (stem + "_desc-tissue_probseg" + nii),
                 outcomes);
}

}  // namespace cohortix::host::anatomy
