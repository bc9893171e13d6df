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
  return voxelNumber({vtc.DimX, vtc.DimY, vtc.DimZ}, v) * n;
}

VTCGeometry geometryOf(const SimulatedVTC& vtc) {
  return {boxOfHeader(vtc.Header), {vtc.DimX, vtc.DimY, vtc.DimZ}, vtc.Header.NrOfVolumes};
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
