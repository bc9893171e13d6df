#pragma once
// The plug-in object as the host sees it: an abstract interface whose virtual
// operations sit in the slots destructor, execute, initPlugin.

#include "abi/export.h"

class COHORTIX_EXPORT TSKTPluginInterface {
 public:
  TSKTPluginInterface();
  TSKTPluginInterface(const TSKTPluginInterface&);
  TSKTPluginInterface& operator=(const TSKTPluginInterface&);
  virtual ~TSKTPluginInterface();
  virtual bool execute() = 0;
  virtual bool initPlugin() = 0;
};

// Holds no data: the host function table and the random streams are process-wide,
// and everything else a run needs lives for one call of execute.
class COHORTIX_EXPORT CohortixPlugin : public TSKTPluginInterface {
 public:
  CohortixPlugin();
  ~CohortixPlugin() override;
  bool execute() override;
  bool initPlugin() override;
};

extern "C" {
COHORTIX_EXPORT TSKTPluginInterface* createPlugin();
COHORTIX_EXPORT const char* getPluginName();
COHORTIX_EXPORT const char* getPluginDescription();
COHORTIX_EXPORT const char* getAuthor();
COHORTIX_EXPORT const char* getHelpFile();
COHORTIX_EXPORT const char* getPluginVersion();
COHORTIX_EXPORT const char* getGUIScript();
}
