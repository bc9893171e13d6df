# Units that must have the C++ ABI of the Windows host's compiler (the class
# layouts and decorated names it uses) are compiled by clang for that ABI and
# linked into the MinGW targets as plain objects. Such a unit includes no standard
# library header and talks to the rest of the program through C linkage only.

find_program(COHORTIX_MSVC_ABI_CXX NAMES clang++-14 clang-14 clang++ clang REQUIRED
  DOC "clang that can compile for the x86_64-pc-windows-msvc target")

function(cohortix_msvc_abi_object target source)
  get_filename_component(source ${source} ABSOLUTE)
  get_filename_component(name ${source} NAME_WE)
  set(object ${CMAKE_CURRENT_BINARY_DIR}/msvc-abi/${target}/${name}.obj)
  set(flags --target=x86_64-pc-windows-msvc -std=c++20 -O2 -fno-exceptions -fno-rtti
            -nostdinc -Wall -Wextra -Wpedantic)
  if(COHORTIX_WERROR)
    list(APPEND flags -Werror)
  endif()
  # GNU ld cannot read the linker directives clang writes for exported names, so
  # they are dropped; the targets export through their module definition files.
  add_custom_command(OUTPUT ${object}
    COMMAND ${COHORTIX_MSVC_ABI_CXX} ${flags} -I${PROJECT_SOURCE_DIR}
            -MD -MF ${object}.d -c ${source} -o ${object}
    COMMAND ${CMAKE_OBJCOPY} --remove-section=.drectve ${object}
    DEPENDS ${source}
    DEPFILE ${object}.d
    COMMENT "Building ${name}.obj for the Windows host's C++ ABI"
    VERBATIM)
  set_source_files_properties(${object} PROPERTIES EXTERNAL_OBJECT TRUE GENERATED TRUE)
  target_sources(${target} PRIVATE ${object})
endfunction()
