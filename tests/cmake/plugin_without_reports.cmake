# The plug-in as it was built before it could report its subjects' draws: the same
# code, linked without that entry point, for the tests of the host's replay.
if(NOT WIN32)
  add_library(cohortix_plugin_without_reports SHARED ${PROJECT_SOURCE_DIR}/plugin/library.cpp)
  set_target_properties(cohortix_plugin_without_reports PROPERTIES
    OUTPUT_NAME cohortix_without_reports LIBRARY_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR})
  target_link_libraries(cohortix_plugin_without_reports PRIVATE
    $<LINK_LIBRARY:WHOLE_ARCHIVE,cohortix_core>)
  target_link_options(cohortix_plugin_without_reports PRIVATE
    -Wl,--version-script=${CMAKE_CURRENT_LIST_DIR}/../support/exports_without_reports.map
    -Wl,--no-undefined)
  set_property(TARGET cohortix_plugin_without_reports APPEND PROPERTY LINK_DEPENDS
    ${CMAKE_CURRENT_LIST_DIR}/../support/exports_without_reports.map)
endif()
