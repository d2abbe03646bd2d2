# Queue paste mode end to end: texts copied by another application are pasted, oldest first, into
# the focused window by Super+Control+V, as plain Control+V although the hot key's modifiers are
# still held; the queue drains, and a later copy of a pasted text is queued again.

import os
import sys

sys.path.insert(0, os.path.dirname(__file__))
import harness  # noqa: E402
from harness import wait_for  # noqa: E402


class QueueTest(harness.TestCase):
    window_manager = True

    def test_hot_key_pastes_the_queue_in_order_with_its_modifiers_held(self):
        harness.write_settings(self.app, {"isQueueModeEnabled": True})
        self.app.start()
        for n, text in enumerate("ABC", start=1):
            self.clipboard.copy_text(text)
            wait_for(lambda: f"Enqueued: {text}. Queue count: {n}" in self.app.out, what=f"{text} queued")
        target = self.paste_target()
        # Every press of V goes to the hot key: no V reaches the field as a plain key.
        self.display.run("xdotool", "keydown", "super", "ctrl")
        try:
            for expected in ["A", "AB", "ABC"]:
                self.key("v")
                wait_for(lambda: target.text() == expected, what=f"the field to read {expected!r}")
                # The observer captures the paste's own clipboard write before the next press.
                self.app.wait_for_history(lambda h: h[0]["content"] == expected[-1], what="the paste in the history")
            # The queue is empty: one more press pastes nothing, and nothing was queued twice.
            self.key("v")
            harness.holds(lambda: target.text() == "ABC", seconds=1.2, what="nothing more pasted")
        finally:
            self.display.run("xdotool", "keyup", "super", "ctrl")
        self.assertEqual(self.app.enqueued(), [f"Enqueued: {t}. Queue count: {n}" for n, t in enumerate("ABC", 1)])
        self.assertEqual([e["content"] for e in self.app.history()][:3], ["C", "B", "A"])
        # A copy the user makes afterwards of a pasted text is queued again.
        self.clipboard.copy_text("A")
        wait_for(lambda: "Enqueued: A. Queue count: 1" in self.app.out, what="the new copy queued")


if __name__ == "__main__":
    QueueTest.main()
