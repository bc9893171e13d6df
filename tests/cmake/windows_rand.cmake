# The Windows C library's rand() as a library to preload into the Linux build's
# runs: the Wine tests (tests/windows/wine_tests.sh) compare such a run with the
# Windows plug-in's, byte for byte.
add_library(windows_rand SHARED ${PROJECT_SOURCE_DIR}/tests/windows/windows_rand.cpp)
cohortix_warnings(windows_rand)
