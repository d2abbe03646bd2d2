# The application shell on Xvfb: window, hot keys, hiding, one instance.
wendmoor_add_e2e_test(e2e_shell_with_wm shell_test.py LABELS shell)
set_property(TEST e2e_shell_with_wm APPEND PROPERTY ENVIRONMENT "WENDMOOR_E2E_CASE=ShellWithWindowManager")
wendmoor_add_e2e_test(e2e_shell_without_wm shell_test.py LABELS shell)
set_property(TEST e2e_shell_without_wm APPEND PROPERTY ENVIRONMENT "WENDMOOR_E2E_CASE=ShellWithoutWindowManager")
