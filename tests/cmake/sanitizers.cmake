# In the sanitized build a sanitizer report ends the process with status 86, which
# no test accepts: a command that is expected to fail with status 1 must not pass
# because the sanitizer happened to exit with 1.
if(COHORTIX_SANITIZE)
  get_property(cohortix_all_tests DIRECTORY PROPERTY TESTS)
  foreach(test ${cohortix_all_tests})
    set_property(TEST ${test} APPEND PROPERTY ENVIRONMENT
      "ASAN_OPTIONS=exitcode=86:detect_leaks=1:strict_string_checks=1"
      "UBSAN_OPTIONS=exitcode=86:print_stacktrace=1")
  endforeach()
endif()
