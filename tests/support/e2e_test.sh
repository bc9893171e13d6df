#!/bin/bash
# Runs one end-to-end test: the test's scratch folder is removed when it passes
# (the whole suite would otherwise leave tens of gigabytes behind) and kept for a
# look when it fails, or always with COHORTIX_KEEP_TEST_TMP=1.
"$@"
status=$?
if [ "$status" -eq 0 ] && [ -z "${COHORTIX_KEEP_TEST_TMP:-}" ]; then
  rm -rf "$COHORTIX_TEST_TMP"
fi
exit "$status"
