#include "plugin/windows/object_storage.h"

#include <new>

void* cohortixAllocateObject(decltype(sizeof 0) size) { return ::operator new(size); }

void cohortixReleaseObject(void* object) { ::operator delete(object); }
