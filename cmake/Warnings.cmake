# Warnings for our own targets; third-party headers come in as system headers.
function(cohortix_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic)
  # GCC 12 reports -Wrestrict on std::string concatenation that cannot overlap when
  # it inlines at -O2 and above: a known false positive, not a fault of ours.
  if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
    target_compile_options(${target} PRIVATE -Wno-restrict)
  endif()
  if(COHORTIX_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
endfunction()
