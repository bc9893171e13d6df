#pragma once
// The texts the plug-in shows its host: metadata and the initialisation message.

namespace cohortix::texts {

inline constexpr char kPluginName[] = "Cohortix v1.5";
inline constexpr char kPluginDescription[] =
    "This tool allows to create simulated volume time course (VTC) data, protocols (PRT "
    "files) and design matrices (RTC files) for multi-factorial designs with between and "
    "within factors. The experimental design, mean effect values as well as other "
    "parameters must be specified in a \"CXD\" file.<br><br>For more details, check the "
    "<a href=\"CohortixPluginHelp/index.html\"><b>Cohortix Online Help</b></a><br>";
inline constexpr char kAuthor[] = "<i>Orrin Maskell</i>, Quillon Analytics";
inline constexpr char kEmpty[] = "";
inline constexpr char kPluginVersion[] = "2.0";
inline constexpr char kHostTooOld[] =
    "Can not execute this plugin - TessalyKT version 2.0 or higher required.";
inline constexpr char kHostIncomplete[] =
    "Can not execute this plugin - TessalyKT does not provide these functions: ";

}  // namespace cohortix::texts
