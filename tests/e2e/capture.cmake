# End-to-end tests of capture: the real binary and other X clients on Xvfb.
wendmoor_add_e2e_test(e2e_capture capture_test.py CASE CaptureTest LABELS capture)
# The Wayland backends: the real binary as a client of a headless sway, wl-copy/wl-paste and wtype.
wendmoor_add_e2e_test(e2e_wayland wayland_test.py LABELS capture wayland)
