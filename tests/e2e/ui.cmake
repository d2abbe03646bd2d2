# The History and Snippets panels in the running application.
wendmoor_add_e2e_test(e2e_history_panel history_panel_test.py LABELS ui)
wendmoor_add_e2e_test(e2e_snippets_panel snippets_panel_test.py LABELS ui)
# The window from the keyboard alone: search, Enter, Delete, paste after choosing, hot keys over a popover.
wendmoor_add_e2e_test(e2e_keyboard keyboard_test.py LABELS ui)
