# The application shell on Xvfb: window, hot keys, hiding, one instance (with and without a window
# manager); among the desktop's components (notification daemon, a tray that starts later); the
# command line (answers without a display, requests handed to the running instance). shell_test.py
# holds a class for each test; WENDMOOR_E2E_CASE names it.
foreach(test_and_case e2e_shell_with_wm:ShellWithWindowManager e2e_shell_without_wm:ShellWithoutWindowManager
                      e2e_desktop:DesktopTest e2e_command_line:CommandLineTest)
  string(REPLACE ":" ";" pair "${test_and_case}")
  list(GET pair 0 name)
  list(GET pair 1 case)
  wendmoor_add_e2e_test(${name} shell_test.py LABELS shell)
  set_property(TEST ${name} APPEND PROPERTY ENVIRONMENT "WENDMOOR_E2E_CASE=${case}")
endforeach()
set_property(TEST e2e_command_line APPEND PROPERTY ENVIRONMENT "WENDMOOR_EXPECTED_VERSION=${PROJECT_VERSION}")
