// The six metadata queries: plain functions, the same for every class layout.

#include "abi/plugin_interface.h"
#include "plugin/plugin_texts.h"

using namespace cohortix;

extern "C" {
const char* getPluginName() { return texts::kPluginName; }
const char* getPluginDescription() { return texts::kPluginDescription; }
const char* getAuthor() { return texts::kAuthor; }
const char* getHelpFile() { return texts::kEmpty; }
const char* getPluginVersion() { return texts::kPluginVersion; }
const char* getGUIScript() { return texts::kEmpty; }
}
