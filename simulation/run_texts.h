#pragma once
// Log lines and messages of a simulation run, exactly as the host shows them.

namespace cohortix::texts {

inline constexpr char kBlankLine[] = " ";
inline constexpr char kRunning[] = "// Plugin>  Running Cohortix...";
inline constexpr char kNoVMR[] =
    "This plugin requires a VMR to operate. Make sure that a Talairach-space VMR is open "
    "and that its window is active.";
inline constexpr char kWrongVMRDims[] =
    "This plugin requires a Talairach-VMR with \"256\" dimensions.";
inline constexpr char kOpenFilePrompt[] = "Enter name of control CXD file:";
inline constexpr char kOpenFileFilter[] = "Cohortix control files (*.cxd)";
inline constexpr char kDimsFormat[] = "// Plugin>  Dims of created VTCs, X: %i  Y: %i  Z: %i";
inline constexpr char kSubjectFormat[] = "// Plugin>  Creating simulated data for subject %i...";
inline constexpr char kCompleted[] = "// Plugin>  Cohortix Plugin completed!";
inline constexpr char kPredictorAccess[] = "Error accessing predictor time course";
inline constexpr char kVTCDataAccess[] = "Error accessing VTC data";
inline constexpr char kUnsupportedDesign[] =
    "Unsupported design. Only designs with 1, 2 or 3 within factors supported.";

}  // namespace cohortix::texts
