# The control-file fuzzer (fuzz/): built with clang++-14 as a project of its own and
# run for a bounded time as the test fuzz.control_file (labels fuzz and slow).
option(COHORTIX_FUZZ "Build the control-file fuzzer with clang++-14 and run it as a test" ON)
set(COHORTIX_FUZZ_SECONDS 60 CACHE STRING "Seconds the fuzz test runs the fuzzer")

if(COHORTIX_FUZZ)
  find_program(COHORTIX_FUZZ_CXX NAMES clang++-14)
  if(NOT COHORTIX_FUZZ_CXX)
    message(WARNING "clang++-14 not found: the control-file fuzzer is not built "
                    "(scripts/setup tests installs clang-14 and libclang-rt-14-dev)")
    return()
  endif()
  include(ExternalProject)
  ExternalProject_Add(control_file_fuzzer
    SOURCE_DIR ${PROJECT_SOURCE_DIR}/fuzz
    BINARY_DIR ${PROJECT_BINARY_DIR}/fuzz
    CMAKE_ARGS -DCMAKE_CXX_COMPILER=${COHORTIX_FUZZ_CXX} -DCMAKE_BUILD_TYPE=RelWithDebInfo
    BUILD_ALWAYS ON
    INSTALL_COMMAND "")
  add_test(NAME fuzz.control_file
    COMMAND bash ${PROJECT_SOURCE_DIR}/fuzz/run_fuzzer.sh
      ${PROJECT_BINARY_DIR}/fuzz/control_file_fuzzer ${PROJECT_SOURCE_DIR}
      ${PROJECT_BINARY_DIR}/fuzz-run ${COHORTIX_FUZZ_SECONDS})
  set_tests_properties(fuzz.control_file PROPERTIES LABELS "fuzz;slow"
    TIMEOUT 600)
endif()
