#include "simulation/simulated_vtc.h"

#include "simulation/host_function_table.h"

namespace cohortix {
namespace {

// Header fields whose meaning is the host's; the host expects these values.
constexpr int32_t kHeaderField12 = 1;
constexpr int32_t kHeaderField48 = 2;

VTCHeader headerFor(const SimulationDesign& design) {
  VTCHeader header{};
  header.HostField12 = kHeaderField12;
  header.VTCHeaderCode = design.VTCHeaderCode;
  header.XStart = design.XStart;
  header.XEnd = design.XEnd;
  header.YStart = design.YStart;
  header.YEnd = design.YEnd;
  header.ZStart = design.ZStart;
  header.ZEnd = design.ZEnd;
  header.Resolution = design.Resolution;
  header.HostField48 = kHeaderField48;
  return header;
}

}  // namespace

std::size_t voxelElement(const SimulatedVTC& vtc, const VoxelIndex& v, std::size_t n) {
  const std::size_t voxel =
      (static_cast<std::size_t>(v.Z) * static_cast<std::size_t>(vtc.DimY) +
       static_cast<std::size_t>(v.Y)) * static_cast<std::size_t>(vtc.DimX) +
      static_cast<std::size_t>(v.X);
  return voxel * n;
}

SimulatedVTC createSimulatedVTC(const SimulationDesign& design) {
  const HostFunctionTable& host = hostFunctions();
  SimulatedVTC vtc;
  vtc.Header = headerFor(design);
  host.ktCreateVTCForCurrentVMR(design.NrOfVolumes, &vtc.Header);
  host.ktGetHeaderOfVTCOfCurrentVMR(&vtc.Header);
  vtc.Data = host.ktGetVTCFloatDataOfCurrentVMR();
  const VTCDims dims = vtcDims(boxOfHeader(vtc.Header));
  vtc.DimX = dims.DimX;
  vtc.DimY = dims.DimY;
  vtc.DimZ = dims.DimZ;
  return vtc;
}

}  // namespace cohortix
