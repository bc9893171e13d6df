#include "host/loader/plugin_library.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <dlfcn.h>
#endif

#include <regex>

#include "abi/subject_report.h"

namespace cohortix::host {
namespace {

#ifdef _WIN32

constexpr char kPluginFileName[] = "Cohortix.dll";

void* loadLibrary(const std::filesystem::path& path, std::string& error) {
  HMODULE module = LoadLibraryW(path.c_str());
  if (module == nullptr) error = "the loader refuses it (error " + std::to_string(GetLastError()) + ")";
  return reinterpret_cast<void*>(module);
}

void* findSymbol(void* handle, const char* name) {
  return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(handle), name));
}

void closeLibrary(void* handle) { FreeLibrary(static_cast<HMODULE>(handle)); }

std::filesystem::path executableFolder() {
  wchar_t path[MAX_PATH] = {};
  const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
  if (length == 0 || length == MAX_PATH) return ".";
  return std::filesystem::path(path).parent_path();
}

#else

constexpr char kPluginFileName[] = "libcohortix.so";

void* loadLibrary(const std::filesystem::path& path, std::string& error) {
  // RTLD_LOCAL: nothing of the plug-in may stand in for the host's own symbols.
  void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) {
    const char* reason = dlerror();
    error = reason != nullptr ? reason : "unknown loader error";
  }
  return handle;
}

void* findSymbol(void* handle, const char* name) { return dlsym(handle, name); }

void closeLibrary(void* handle) { dlclose(handle); }

std::filesystem::path executableFolder() {
  std::error_code ec;
  const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", ec);
  return ec ? std::filesystem::path(".") : self.parent_path();
}

#endif

template <typename Function>
bool resolve(void* handle, const char* name, Function& function, std::string& error) {
  function = reinterpret_cast<Function>(findSymbol(handle, name));
  if (function == nullptr) error = std::string("it does not export ") + name;
  return function != nullptr;
}

}  // namespace

std::unique_ptr<PluginLibrary> PluginLibrary::open(const std::filesystem::path& path,
                                                   std::string& error) {
  void* handle = loadLibrary(path, error);
  if (handle == nullptr) return nullptr;
  std::unique_ptr<PluginLibrary> library(new PluginLibrary(handle));
  PluginEntryPoints& e = library->entryPoints_;
  if (!resolve(handle, "createPlugin", e.createPlugin, error) ||
      !resolve(handle, "getPluginName", e.getPluginName, error) ||
      !resolve(handle, "getPluginDescription", e.getPluginDescription, error) ||
      !resolve(handle, "getAuthor", e.getAuthor, error) ||
      !resolve(handle, "getHelpFile", e.getHelpFile, error) ||
      !resolve(handle, "getPluginVersion", e.getPluginVersion, error) ||
      !resolve(handle, "getGUIScript", e.getGUIScript, error))
    return nullptr;
  e.reportSubjects = reinterpret_cast<decltype(e.reportSubjects)>(
      findSymbol(handle, COHORTIX_REPORT_SUBJECTS_NAME));
  return library;
}

PluginLibrary::~PluginLibrary() { closeLibrary(handle_); }

std::filesystem::path defaultPluginPath() { return executableFolder() / kPluginFileName; }

std::string htmlToText(const std::string& html) {
  static const std::regex lineBreak("<br\\s*/?>", std::regex::icase);
  static const std::regex tag("<[^>]*>");
  std::string text = std::regex_replace(html, lineBreak, "\n");
  text = std::regex_replace(text, tag, "");
  while (!text.empty() && text.back() == '\n') text.pop_back();
  return text;
}

}  // namespace cohortix::host
