# Warnings for our own targets; third-party headers come in as system headers.
function(cohortix_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic)
  if(COHORTIX_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
endfunction()
