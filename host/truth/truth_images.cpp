#include "host/truth/truth_images.h"

#include "host/export/export_file.h"
#include "host/export/nifti_writer.h"
#include "host/truth/truth_text.h"

namespace cohortix::host::truth {
namespace {

namespace fs = std::filesystem;

NiftiMaps mapsOn(const VTCBox& box, int32_t count, MapIntent intent, std::string description) {
  NiftiMaps maps;
  maps.dims = vtcDims(box);
  maps.affine = talairachAffine(box);
  maps.NrOfMaps = count;
  maps.intent = intent;
  maps.description = std::move(description);
  return maps;
}

Status withSidecar(DiskInterface& disk, const fs::path& file, const NiftiMaps& maps,
                   const std::string& units, const std::vector<std::string>& volumes) {
  Status written = writeNiftiMaps(disk, file, maps);
  if (!written) return written;
  return writeExportText(disk, sidecarPath(file),
                         imageSidecarJson(maps.description, units, volumes));
}

}  // namespace

fs::path sidecarPath(const fs::path& image) {
  std::string name = image.string();
  for (const std::string suffix : {".nii.gz", ".nii"})
    if (name.ends_with(suffix)) return name.substr(0, name.size() - suffix.size()) + ".json";
  return name + ".json";
}

Status writeEffectImage(DiskInterface& disk, const fs::path& file, const VTCBox& box,
                        const std::vector<std::string>& cells, const std::vector<float>& effects,
                        const std::string& description) {
  NiftiMaps maps = mapsOn(box, static_cast<int32_t>(cells.size()), MapIntent::Estimate,
                          description);
  maps.data = effects.data();
  return withSidecar(disk, file, maps, "percent of the subject's baseline", cells);
}

Status writeSubjectEffects(DiskInterface& disk, const fs::path& file, const VTCBox& box,
                           const SubjectTruth& truth) {
  const std::size_t voxels = truth.finalRegion.size();
  std::vector<float> effects(truth.cells() * voxels, 0.0f);
  for (std::size_t p = 0; p < truth.cells(); ++p)
    for (std::size_t v = 0; v < voxels; ++v) effects[p * voxels + v] = truth.effectAt(v, p);
  return writeEffectImage(disk, file, box, truth.cellNames, effects,
                          "true effect of each cell, percent of baseline");
}

Status writeSubjectRegions(DiskInterface& disk, const fs::path& file, const VTCBox& box,
                           const SubjectTruth& truth) {
  NiftiMaps maps = mapsOn(box, 1, MapIntent::Label, "region that wrote the voxel last, 0 none");
  maps.labels = truth.finalRegion.data();
  return withSidecar(disk, file, maps, "label: 0 no region, r for region r", {});
}

Status writeSubjectBaseline(DiskInterface& disk, const fs::path& file, const VTCBox& box,
                            const SubjectTruth& truth) {
  NiftiMaps maps = mapsOn(box, 1, MapIntent::None, "baseline F of each voxel");
  maps.data = truth.voxelBaseline.data();
  return withSidecar(disk, file, maps, "signal units", {});
}

}  // namespace cohortix::host::truth
