# COHORTIX_SANITIZE builds everything (plug-in, host, tests, test hosts) with
# AddressSanitizer and UndefinedBehaviorSanitizer. Any report aborts the process, so
# a test that provokes one fails. Use a build folder of its own (scripts/test uses
# build-sanitize).
#
# The plug-in is loaded with dlopen into an executable that is itself instrumented;
# the shared sanitizer runtimes of gcc keep -Wl,--no-undefined of the plug-in whole.
option(COHORTIX_SANITIZE "Build with AddressSanitizer and UndefinedBehaviorSanitizer" OFF)

if(COHORTIX_SANITIZE)
  if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
    message(FATAL_ERROR "COHORTIX_SANITIZE expects gcc: clang links its sanitizer "
                        "runtimes statically into executables only, which leaves the "
                        "plug-in's references to them undefined.")
  endif()
  set(COHORTIX_SANITIZER_FLAGS
    -fsanitize=address,undefined
    -fno-sanitize-recover=all
    # The host meets the plug-in's classes only through dlopen: a host program that
    # does not link the core has no type information of the interface to check a
    # dynamic type against, and would not link with the check in place.
    -fno-sanitize=vptr
    -fno-omit-frame-pointer)
  add_compile_options(${COHORTIX_SANITIZER_FLAGS})
  # At -O2 with full debug information the instrumented build takes about seven
  # times as long to compile as the normal one; -Og with line tables only compiles
  # faster than the normal build, still names file and line in every report, and
  # keeps the tests' run time close to -O1's. These come after the build type's
  # flags, so they win.
  add_compile_options(-Og -g1)
  # gcc's flow analysis sees through the instrumentation poorly and warns of
  # uninitialised values inside the standard library; the normal build keeps the
  # warning for our own code.
  add_compile_options(-Wno-maybe-uninitialized)
  add_link_options(-fsanitize=address,undefined -fno-sanitize=vptr)
endif()
