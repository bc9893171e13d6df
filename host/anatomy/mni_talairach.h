#pragma once
// MNI and Talairach millimetres, and the anatomy's 1 mm grid. MNI coordinates of
// a brain normalised to a template other than SPM's or FSL's (the Colin27 single
// subject, for one) go to Talairach by Lancaster's icbm2tal transform for "other"
// software (Lancaster et al. 2007, Human Brain Mapping 28:1194-1205); the anatomy's
// grid is the plug-in's: 256 voxels of 1 mm on every axis, Talairach 0 at voxel
// 128, x growing as Talairach y falls, y as Talairach z falls, z as Talairach x
// falls.

#include <array>
#include <cstdint>

namespace cohortix::host::anatomy {

using Point = std::array<double, 3>;

Point talairachFromMni(const Point& mni);
Point mniFromTalairach(const Point& talairach);

// The Talairach millimetres of anatomy grid coordinates (x, y, z), and back.
Point talairachOfGrid(const Point& grid);
Point gridOfTalairach(const Point& talairach);

}  // namespace cohortix::host::anatomy
