#pragma once
// Loading the plug-in library and finding its seven exported functions.

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>

class TSKTPluginInterface;
struct CohortixSubjectReport;

namespace cohortix::host {

struct PluginEntryPoints {
  TSKTPluginInterface* (*createPlugin)() = nullptr;
  const char* (*getPluginName)() = nullptr;
  const char* (*getPluginDescription)() = nullptr;
  const char* (*getAuthor)() = nullptr;
  const char* (*getHelpFile)() = nullptr;
  const char* (*getPluginVersion)() = nullptr;
  const char* (*getGUIScript)() = nullptr;
  // Optional: how a host asks what the plug-in draws for every subject
  // (abi/subject_report.h); null for a plug-in built before it.
  uint32_t (*reportSubjects)(const CohortixSubjectReport*) = nullptr;
};

class PluginLibrary {
 public:
  // Loads the library at path; on failure returns null and says why in error.
  static std::unique_ptr<PluginLibrary> open(const std::filesystem::path& path,
                                             std::string& error);
  ~PluginLibrary();
  PluginLibrary(const PluginLibrary&) = delete;
  PluginLibrary& operator=(const PluginLibrary&) = delete;

  const PluginEntryPoints& entryPoints() const { return entryPoints_; }

 private:
  explicit PluginLibrary(void* handle) : handle_(handle) {}
  void* handle_;
  PluginEntryPoints entryPoints_;
};

// The plug-in beside the running executable: libcohortix.so, or Cohortix.dll on Windows.
std::filesystem::path defaultPluginPath();

// The plug-in's metadata texts with HTML markup turned into plain text.
std::string htmlToText(const std::string& html);

}  // namespace cohortix::host
