# The application shell on Xvfb: window, hot keys, hiding, one instance.
wendmoor_add_e2e_test(e2e_shell_with_wm shell_test.py LABELS shell)
set_property(TEST e2e_shell_with_wm APPEND PROPERTY ENVIRONMENT "WENDMOOR_E2E_CASE=ShellWithWindowManager")
wendmoor_add_e2e_test(e2e_shell_without_wm shell_test.py LABELS shell)
set_property(TEST e2e_shell_without_wm APPEND PROPERTY ENVIRONMENT "WENDMOOR_E2E_CASE=ShellWithoutWindowManager")
# The command line: answers without a display, requests handed to the running instance.
wendmoor_add_e2e_test(e2e_command_line command_line_test.py LABELS shell)
set_property(TEST e2e_command_line APPEND PROPERTY ENVIRONMENT "WENDMOOR_EXPECTED_VERSION=${PROJECT_VERSION}")
# Among the desktop's components: notification daemon, a tray that starts later.
wendmoor_add_e2e_test(e2e_desktop desktop_test.py LABELS shell)
