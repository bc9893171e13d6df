// The plug-in class and its factory. A Windows build compiles this unit for the
// C++ ABI of the host's compiler (cmake/MsvcAbiObject.cmake), so the virtual table
// of TSKTPluginInterface is [deleting destructor, execute, initPlugin] and the
// members carry that compiler's decorated names; everything behind the class is
// reached through functions with C linkage. Hence no standard library header here.

#include "abi/plugin_interface.h"
#include "plugin/plugin_operations.h"

#if defined(_WIN32) && defined(_MSC_VER)
#include "plugin/windows/object_storage.h"

// There is no runtime library for this ABI in the build: the object lives on the
// plug-in's own heap, and the deleting destructor gives it back there.
void* operator new(decltype(sizeof 0) size) { return cohortixAllocateObject(size); }
void operator delete(void* object) noexcept { cohortixReleaseObject(object); }
void operator delete(void* object, decltype(sizeof 0)) noexcept { cohortixReleaseObject(object); }
#endif

TSKTPluginInterface::TSKTPluginInterface() = default;
TSKTPluginInterface::TSKTPluginInterface(const TSKTPluginInterface&) = default;
TSKTPluginInterface& TSKTPluginInterface::operator=(const TSKTPluginInterface&) = default;
TSKTPluginInterface::~TSKTPluginInterface() = default;

CohortixPlugin::CohortixPlugin() = default;
CohortixPlugin::~CohortixPlugin() = default;

bool CohortixPlugin::initPlugin() { return cohortixInitPlugin(); }
bool CohortixPlugin::execute() { return cohortixExecute(); }

extern "C" TSKTPluginInterface* createPlugin() { return new CohortixPlugin(); }
