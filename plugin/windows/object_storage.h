#pragma once
// Heap storage for the plug-in object, taken from the plug-in's own C++ runtime.
// The class layer is built without a standard library, so its operators new and
// delete forward here. No standard library header may come in here.

extern "C" {
void* cohortixAllocateObject(decltype(sizeof 0) size);
void cohortixReleaseObject(void* object);
}
