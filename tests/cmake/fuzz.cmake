# The fuzzers of the readers of what the host did not write (fuzz/): built with
# clang++-14 as a project of their own and each run for a bounded time as a test
# fuzz.NAME (labels fuzz and slow): control_file, nifti_input (plain and gzip),
# noise_profile, sweep_file, tsv_tables and json_input (the run record and a
# subject's truth).
option(COHORTIX_FUZZ "Build the readers' fuzzers with clang++-14 and run them as tests" ON)
set(COHORTIX_FUZZ_SECONDS 60 CACHE STRING "Seconds each fuzz test runs its fuzzer")

if(COHORTIX_FUZZ)
  find_program(COHORTIX_FUZZ_CXX NAMES clang++-14)
  if(NOT COHORTIX_FUZZ_CXX)
    message(WARNING "clang++-14 not found: the fuzzers are not built "
                    "(scripts/setup tests installs clang-14 and libclang-rt-14-dev)")
    return()
  endif()
  include(ExternalProject)
  ExternalProject_Add(cohortix_fuzzers
    SOURCE_DIR ${PROJECT_SOURCE_DIR}/fuzz
    BINARY_DIR ${PROJECT_BINARY_DIR}/fuzz
    CMAKE_ARGS -DCMAKE_CXX_COMPILER=${COHORTIX_FUZZ_CXX} -DCMAKE_BUILD_TYPE=RelWithDebInfo
    BUILD_ALWAYS ON
    INSTALL_COMMAND "")
  foreach(name control_file nifti_input noise_profile sweep_file tsv_tables json_input)
    add_test(NAME fuzz.${name}
      COMMAND bash ${PROJECT_SOURCE_DIR}/fuzz/run_fuzzer.sh
        ${PROJECT_BINARY_DIR}/fuzz/${name}_fuzzer ${PROJECT_SOURCE_DIR}
        ${PROJECT_BINARY_DIR}/fuzz-run/${name} ${COHORTIX_FUZZ_SECONDS})
    set_tests_properties(fuzz.${name} PROPERTIES LABELS "fuzz;slow" TIMEOUT 600)
  endforeach()
endif()
