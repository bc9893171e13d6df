# The study report's browser and HTML checks. The HTML validator is installed
# once into the build folder by a fixture, like the BIDS validator; a test that
# cannot have its tool (no Chromium, no validator) skips (77) and says why.
set(COHORTIX_HTML_VALIDATE ${PROJECT_BINARY_DIR}/tools/html-validate-9.7.1/node_modules/.bin/html-validate)
add_test(NAME tools.html_validate
  COMMAND bash ${PROJECT_SOURCE_DIR}/tests/e2e/report_support/fetch_html_validate.sh
          ${PROJECT_BINARY_DIR}/tools)
set_tests_properties(tools.html_validate PROPERTIES FIXTURES_SETUP html_validate
  LABELS "e2e;fast" TIMEOUT 600)

if(TEST e2e.report_html_valid)
  set_tests_properties(e2e.report_html_valid PROPERTIES FIXTURES_REQUIRED html_validate
    SKIP_RETURN_CODE 77)
  set_property(TEST e2e.report_html_valid APPEND PROPERTY ENVIRONMENT
    "COHORTIX_HTML_VALIDATE=${COHORTIX_HTML_VALIDATE}")
endif()
if(TEST e2e.report_browser)
  set_tests_properties(e2e.report_browser PROPERTIES SKIP_RETURN_CODE 77 TIMEOUT 300)
endif()
