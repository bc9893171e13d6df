#pragma once
// An anatomy in the plug-in's space: a T1-weighted head, its brain mask, grey
// matter, white matter and CSF probabilities and three atlases' labels on the part
// of the 256-voxel, 1 mm Talairach grid (mni_talairach.h) the source images cover.
// By default the Colin27 single-subject template and the atlases Debian ships in
// mricron-data, carried from MNI to Talairach space with icbm2tal.

#include <array>
#include <cstdint>
#include <filesystem>
#include <vector>

#include "control/vtc_geometry.h"
#include "host/anatomy/tissue_classes.h"
#include "host/io/status.h"

namespace cohortix::host::anatomy {

inline constexpr char kTemplateFolder[] = "/usr/share/mricron/templates";
inline constexpr char kTemplatePackage[] = "mricron-data";

struct AnatomySources {
  std::filesystem::path head;   // T1-weighted head: the subjects' T1w
  std::filesystem::path brain;  // the brain alone (0 outside): mask and tissue
  // Atlases in the same space; empty when there are none.
  std::filesystem::path aal, brodmann, harvardOxford;
  bool talairach = false;  // the images are in Talairach space already, not MNI
  // A user's own mask of the brain in `brain` (non-zero inside, on its grid);
  // empty: the image is the brain alone, or its brain is extracted.
  std::filesystem::path mask;
};

// The templates of mricron-data.
AnatomySources templateSources();
// A user's own T1-weighted image, no atlases: of the brain alone (0 outside), or
// of the whole head, whose brain is then extracted (brain_extraction.h).
// With `mask`, the brain is the image's voxels the mask covers.
AnatomySources ownSources(const std::filesystem::path& brain, bool talairach,
                          const std::filesystem::path& mask = {});

// Every source is a readable file; otherwise why not, with the command that
// installs the templates when they are missing.
Status checkSources(const AnatomySources& sources);

// The part of the 256-voxel grid an anatomy covers; x fastest.
struct AnatomyGrid {
  std::array<int32_t, 3> start{};
  std::array<int32_t, 3> dims{};
  std::size_t voxels() const {
    return static_cast<std::size_t>(dims[0]) * static_cast<std::size_t>(dims[1]) *
           static_cast<std::size_t>(dims[2]);
  }
  // -1 outside.
  int64_t index(int32_t x, int32_t y, int32_t z) const;
  // The grid as a box of resolution 1, for its Talairach affine.
  VTCBox box() const;
};

struct Anatomy {
  AnatomyGrid grid;
  std::vector<uint8_t> head;                  // T1 intensity, 0 to 255
  std::vector<uint8_t> brain;                 // 1 inside the brain
  std::array<std::vector<uint8_t>, 3> tissue;  // CSF, grey, white: probability x 255
  std::vector<uint8_t> aal, brodmann, harvardOxford;  // labels, 0 none
  TissueClasses classes;
  double secondsToBuild = 0.0;
};

Result<Anatomy> buildAnatomy(const AnatomySources& sources);

}  // namespace cohortix::host::anatomy
