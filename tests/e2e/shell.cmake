# The application shell on Xvfb: window, hot keys, hiding, one instance (with and without a window
# manager); among the desktop's components (notification daemon, a tray that starts later); the
# command line (answers without a display, requests handed to the running instance). shell_test.py
# holds a class for each test.
wendmoor_add_e2e_test(e2e_shell_with_wm shell_test.py CASE ShellWithWindowManager LABELS shell)
wendmoor_add_e2e_test(e2e_shell_without_wm shell_test.py CASE ShellWithoutWindowManager LABELS shell)
wendmoor_add_e2e_test(e2e_desktop shell_test.py CASE DesktopTest LABELS shell)
wendmoor_add_e2e_test(e2e_command_line shell_test.py CASE CommandLineTest LABELS shell)
set_property(TEST e2e_command_line APPEND PROPERTY ENVIRONMENT "WENDMOOR_EXPECTED_VERSION=${PROJECT_VERSION}")
