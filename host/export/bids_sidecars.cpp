#include "host/export/bids_sidecars.h"

#include "host/export/decimal_text.h"
#include "host/export/json_text.h"

namespace cohortix::host {
namespace {

// The data have two makers: the simulation and whoever wrote its control file.
// (Readers of the dataset expect more than one author entry.)
constexpr char kAuthors[] =
    "[\"Cohortix (simulated data)\", \"The author of the control file in code/\"]";

constexpr char kSimulated[] = "Simulated group fMRI study with a known ground truth";

std::string generatedBy(const char* what) {
  return "  \"GeneratedBy\": [\n"
         "    {\n"
         "      \"Name\": \"Cohortix\",\n"
         "      \"Version\": \"" COHORTIX_VERSION "\",\n"
         "      \"Description\": " + jsonString(what) + "\n"
         "    }\n"
         "  ]\n";
}

std::string description(const std::string& name, const char* datasetType,
                        const char* what = kSimulated) {
  return "{\n  \"Name\": " + jsonString(name) + ",\n  \"BIDSVersion\": \"" + kBidsVersion +
         "\",\n  \"DatasetType\": \"" + datasetType +
         "\",\n  \"Authors\": " + kAuthors + ",\n" + generatedBy(what) + "}\n";
}

std::string groupLevels(const std::vector<std::string>& groupNames) {
  std::string levels;
  for (std::size_t g = 0; g < groupNames.size(); ++g)
    levels += (g == 0 ? "" : ",\n") + std::string("      ") + jsonString(groupNames[g]) +
              ": " + jsonString("group " + std::to_string(g + 1));
  return levels;
}

std::string groupDescription(const std::string& groupFactor) {
  return groupFactor.empty() ? "The study has no between-subject factor: one group"
                             : "Level of the between-subject factor " + groupFactor;
}

}  // namespace

std::string datasetDescriptionJson(const std::string& experimentName) {
  return description(experimentName, "raw");
}

std::string derivativeDescriptionJson(const std::string& experimentName) {
  return description(experimentName + ": design matrices", "derivative");
}

std::string analysisDescriptionJson(const std::string& experimentName) {
  return description(experimentName + ": analysis (first-level fits and group maps)", "derivative",
                     "cohortix analyze: each subject's linear model and the group's t maps");
}

std::string participantsJson(const std::string& groupFactor,
                             const std::vector<std::string>& groupNames) {
  return "{\n  \"participant_id\": {\n"
         "    \"Description\": \"Simulated subject, numbered across groups\"\n  },\n"
         "  \"group\": {\n    \"Description\": " +
         jsonString(groupDescription(groupFactor)) + ",\n    \"Levels\": {\n" +
         groupLevels(groupNames) + "\n    }\n  }\n}\n";
}

std::string boldJson(const std::string& taskLabel, double repetitionTime, int32_t sliceCount) {
  std::string slices;
  for (int32_t k = 0; k < sliceCount; ++k) slices += k == 0 ? "0" : ", 0";
  return "{\n  \"TaskName\": " + jsonString(taskLabel) +
         ",\n  \"RepetitionTime\": " + secondsText(repetitionTime) +
         ",\n  \"SliceTiming\": [" + slices + "],\n  \"Units\": \"arbitrary\"\n}\n";
}

std::string boldJson(const std::string& taskLabel, double repetitionTime, const std::vector<double>& sliceTiming,
                     int32_t multiband) {
  std::string slices;
  for (std::size_t k = 0; k < sliceTiming.size(); ++k) slices += (k == 0 ? "" : ", ") + secondsText(sliceTiming[k]);
  return "{\n  \"TaskName\": " + jsonString(taskLabel) +
         ",\n  \"RepetitionTime\": " + secondsText(repetitionTime) +
         (multiband > 1 ? ",\n  \"MultibandAccelerationFactor\": " + std::to_string(multiband) : std::string()) +
         ",\n  \"SliceTiming\": [" + slices + "],\n  \"Units\": \"arbitrary\"\n}\n";
}

}  // namespace cohortix::host
