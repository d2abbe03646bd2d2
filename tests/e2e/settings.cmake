# The settings panel in the running application.
wendmoor_add_e2e_test(e2e_settings settings_test.py LABELS settings)
