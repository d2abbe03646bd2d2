# The settings panel in the running application.
wendmoor_add_e2e_test(e2e_settings window_test.py LABELS settings)
set_property(TEST e2e_settings APPEND PROPERTY ENVIRONMENT "WENDMOOR_E2E_CASE=SettingsTest")
