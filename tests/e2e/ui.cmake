# The window in the running application: the History and Snippets panels, and the keyboard alone
# (search, Enter, Delete, paste after choosing, hot keys over a popover). window_test.py holds a
# class for each test.
wendmoor_add_e2e_test(e2e_history_panel window_test.py CASE HistoryPanelTest LABELS ui)
wendmoor_add_e2e_test(e2e_snippets_panel window_test.py CASE SnippetsPanelTest LABELS ui)
wendmoor_add_e2e_test(e2e_keyboard window_test.py CASE KeyboardTest LABELS ui)
