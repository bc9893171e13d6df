# The Windows plug-in, Cohortix.dll: the core built by MinGW g++, and the plug-in
# class built by clang with the layout the host's compiler gives it. The module
# definition file lists every export, the class members under their decorated
# names.
include(${PROJECT_SOURCE_DIR}/cmake/MsvcAbiObject.cmake)

add_library(cohortix_plugin SHARED
  ${PROJECT_SOURCE_DIR}/plugin/windows/object_storage.cpp
  ${PROJECT_SOURCE_DIR}/plugin/windows/Cohortix.def)
set_target_properties(cohortix_plugin PROPERTIES OUTPUT_NAME Cohortix PREFIX "")
target_include_directories(cohortix_plugin PRIVATE ${PROJECT_SOURCE_DIR})
target_link_libraries(cohortix_plugin PRIVATE $<LINK_LIBRARY:WHOLE_ARCHIVE,cohortix_core>)
target_link_options(cohortix_plugin PRIVATE -Wl,--no-undefined)
cohortix_msvc_abi_object(cohortix_plugin ${PROJECT_SOURCE_DIR}/plugin/plugin_entry.cpp)
cohortix_warnings(cohortix_plugin)
