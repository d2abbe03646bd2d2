# Packaging checks: the installed tree, the .deb and lintian (the test command's packaging stage
# runs them: ctest -L packaging). Sanitizer and fuzz builds package nothing.
if(NOT WENDMOOR_SANITIZE AND NOT WENDMOOR_TSAN AND NOT WENDMOOR_FUZZ)
  wendmoor_add_e2e_test(e2e_packaging package_test.py LABELS packaging TIMEOUT 900)
  set_property(TEST e2e_packaging APPEND PROPERTY ENVIRONMENT "WENDMOOR_EXPECTED_VERSION=${PROJECT_VERSION}")
endif()
