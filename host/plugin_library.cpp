#include "host/plugin_library.h"

#include <dlfcn.h>

#include <regex>

namespace cohortix::host {
namespace {

template <typename Function>
bool resolve(void* handle, const char* name, Function& function, std::string& error) {
  function = reinterpret_cast<Function>(dlsym(handle, name));
  if (function == nullptr) error = std::string("it does not export ") + name;
  return function != nullptr;
}

}  // namespace

std::unique_ptr<PluginLibrary> PluginLibrary::open(const std::filesystem::path& path,
                                                   std::string& error) {
  // RTLD_LOCAL: nothing of the plug-in may stand in for the host's own symbols.
  void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) {
    const char* reason = dlerror();
    error = reason != nullptr ? reason : "unknown loader error";
    return nullptr;
  }
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
  return library;
}

PluginLibrary::~PluginLibrary() { dlclose(handle_); }

std::filesystem::path defaultPluginPath() {
  std::error_code ec;
  const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", ec);
  const std::filesystem::path folder = ec ? std::filesystem::path(".") : self.parent_path();
  return folder / "libcohortix.so";
}

std::string htmlToText(const std::string& html) {
  static const std::regex lineBreak("<br\\s*/?>", std::regex::icase);
  static const std::regex tag("<[^>]*>");
  std::string text = std::regex_replace(html, lineBreak, "\n");
  text = std::regex_replace(text, tag, "");
  while (!text.empty() && text.back() == '\n') text.pop_back();
  return text;
}

}  // namespace cohortix::host
