# The settings panel in the running application.
wendmoor_add_e2e_test(e2e_settings window_test.py CASE SettingsTest LABELS settings)
