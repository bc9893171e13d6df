#pragma once
// The reader's four rejections, exactly as the user sees them.

namespace cohortix::texts {

inline constexpr char kNewFileFormat[] = "INFO - New CXD File Format, use updated plugin.";
inline constexpr char kTooManyWithinFactors[] = "Too many within factors!";
inline constexpr char kTooManyBetweenFactors[] =
    "In this version of the plugin, only 1 between factor is supported!";
inline constexpr char kUnbalancedDesign[] = "Unbalanced designs not yet supported!";

}  // namespace cohortix::texts
