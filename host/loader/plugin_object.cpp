// The host side of the plug-in's declarations (abi/export.h).
#define COHORTIX_HOST_SIDE

#include "host/loader/plugin_object.h"

#include "abi/plugin_interface.h"

bool cohortixCallInitPlugin(TSKTPluginInterface* plugin) { return plugin->initPlugin(); }

bool cohortixCallExecute(TSKTPluginInterface* plugin) { return plugin->execute(); }

void cohortixDeletePlugin(TSKTPluginInterface* plugin) { delete plugin; }
