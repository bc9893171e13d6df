#pragma once
// The one export macro: marks what the plug-in library shows its host. Everything
// else is built with hidden visibility.
//
// On Windows only the unit built for the host compiler's ABI (plugin_entry.cpp)
// marks its classes, so that its compiler emits every member the host may use;
// plugin/windows/Cohortix.def lists the exports for the linker. Units built by g++
// mark nothing, or g++ would emit type information of its own for the classes. A
// host that includes these declarations defines COHORTIX_HOST_SIDE first: an
// exported class would make its compiler emit the implicit members in the host.

#if defined(_WIN32) && defined(_MSC_VER) && !defined(COHORTIX_HOST_SIDE)
#define COHORTIX_EXPORT __declspec(dllexport)
#elif defined(_WIN32)
#define COHORTIX_EXPORT
#else
#define COHORTIX_EXPORT __attribute__((visibility("default")))
#endif
