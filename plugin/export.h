#pragma once
// The one export macro: marks what the plug-in library shows its host. Everything
// else is built with hidden visibility.

#if defined(_WIN32)
#define COHORTIX_EXPORT __declspec(dllexport)
#else
#define COHORTIX_EXPORT __attribute__((visibility("default")))
#endif
