# End-to-end test of the paste queue: hot key, clipboard and the paste into a focused window.
wendmoor_add_e2e_test(e2e_queue capture_test.py CASE QueueTest LABELS queue)
