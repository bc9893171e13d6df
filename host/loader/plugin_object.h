#pragma once
// The host's calls on a plug-in object: initPlugin, execute and delete. They go
// through the object's virtual table, so host/loader/plugin_object.cpp must be compiled
// for the class layout the plug-in was built with; on Windows that is the layout
// of the host platform's compiler (cmake/MsvcAbiObject.cmake). C linkage keeps it
// apart from the rest of the host. No standard library header may come in here.

class TSKTPluginInterface;

extern "C" {
bool cohortixCallInitPlugin(TSKTPluginInterface* plugin);
bool cohortixCallExecute(TSKTPluginInterface* plugin);
void cohortixDeletePlugin(TSKTPluginInterface* plugin);
}

namespace cohortix::host {

// The host owns the object and deletes it through the interface's virtual destructor.
struct PluginObjectDeleter {
  void operator()(TSKTPluginInterface* plugin) const { cohortixDeletePlugin(plugin); }
};

}  // namespace cohortix::host
