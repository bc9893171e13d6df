# The BIDS validator that the export tests run on the datasets they make: fetched
# once into the build folder by a fixture, so no test downloads it on its own.
set(COHORTIX_BIDS_VALIDATOR ${PROJECT_BINARY_DIR}/tools/bids-validator-1.15.0/package/bin/bids-validator)
add_test(NAME tools.bids_validator
  COMMAND bash ${PROJECT_SOURCE_DIR}/scripts/fetch-bids-validator ${PROJECT_BINARY_DIR}/tools)
set_tests_properties(tools.bids_validator PROPERTIES FIXTURES_SETUP bids_validator
  LABELS "e2e;fast" TIMEOUT 600)

# Tests that run the validator skip (exit 77) with a note when it could not be had.
foreach(name bids_export ground_truth anatomy slice_timing)
  if(TEST e2e.${name})
    set_tests_properties(e2e.${name} PROPERTIES FIXTURES_REQUIRED bids_validator
      SKIP_RETURN_CODE 77)
    set_property(TEST e2e.${name} APPEND PROPERTY ENVIRONMENT
      "COHORTIX_BIDS_VALIDATOR=${COHORTIX_BIDS_VALIDATOR}")
  endif()
endforeach()
