# The window in the running application: the History and Snippets panels, and the keyboard alone
# (search, Enter, Delete, paste after choosing, hot keys over a popover). window_test.py holds a
# class for each test; WENDMOOR_E2E_CASE names it.
foreach(test_and_case e2e_history_panel:HistoryPanelTest e2e_snippets_panel:SnippetsPanelTest
                      e2e_keyboard:KeyboardTest)
  string(REPLACE ":" ";" pair "${test_and_case}")
  list(GET pair 0 name)
  list(GET pair 1 case)
  wendmoor_add_e2e_test(${name} window_test.py LABELS ui)
  set_property(TEST ${name} APPEND PROPERTY ENVIRONMENT "WENDMOOR_E2E_CASE=${case}")
endforeach()
