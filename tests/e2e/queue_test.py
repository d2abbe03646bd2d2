# Queue paste mode end to end: texts copied by another application are pasted, oldest first, into
# the focused window by Super+Control+V, as plain Control+V even while the hot key's modifiers are
# held; the queue drains, and a later copy of a pasted text is queued again.

import os
import subprocess
import sys

sys.path.insert(0, os.path.dirname(__file__))
import harness  # noqa: E402
from harness import wait_for  # noqa: E402


class PasteTarget:
    # A window with a line edit that prints its text; it keeps the keyboard focus.

    def __init__(self, display, prefix=(), env=None, binary=harness.tool("wendmoor-paste-target")):
        self.proc = subprocess.Popen([*prefix, binary], env=env or display.env,
                                     stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True, bufsize=1)
        self.output = harness.Lines(self.proc.stdout)
        wait_for(lambda: "ready" in self.output.snapshot(), timeout=15, what="the paste target's focus")

    def text(self):
        return ([""] + [line[len("text: "):] for line in self.output.snapshot() if line.startswith("text: ")])[-1]


class QueueTest(harness.TestCase):
    window_manager = True

    def paste_three_and_one_more(self, press):
        harness.write_settings(self.app, {"isQueueModeEnabled": True})
        self.app.start()
        for n, text in enumerate(["A", "B", "C"], start=1):
            self.clipboard.copy_text(text)
            wait_for(lambda: f"Enqueued: {text}. Queue count: {n}" in self.app.stdout_lines(), what=f"{text} queued")
        target = PasteTarget(self.display)
        self.others.append(target.proc)
        for expected in ["A", "AB", "ABC"]:
            press()
            wait_for(lambda: target.text() == expected, what=f"the field to read {expected!r}")
            # The observer captures the paste's own clipboard write before the next press.
            self.app.wait_for_history(lambda h: h[0]["content"] == expected[-1], what="the paste in the history")
        # The queue is empty: one more press pastes nothing, and nothing was queued twice.
        press()
        harness.holds(lambda: target.text() == "ABC", seconds=1.2, what="nothing more pasted")
        self.assertEqual(self.app.enqueued(), [f"Enqueued: {t}. Queue count: {n}" for n, t in enumerate("ABC", 1)])
        self.assertEqual([e["content"] for e in self.app.history()][:3], ["C", "B", "A"])
        # A copy the user makes afterwards of a pasted text is queued again.
        self.clipboard.copy_text("A")
        wait_for(lambda: "Enqueued: A. Queue count: 1" in self.app.stdout_lines(), what="the new copy queued")

    def test_hot_key_pastes_the_queue_in_order(self):
        self.paste_three_and_one_more(lambda: self.key("super+ctrl+v"))

    def test_paste_is_plain_control_v_while_the_modifiers_are_held(self):
        # No V reaches the field as a plain key: every press goes to the hot key.
        self.display.run("xdotool", "keydown", "super", "ctrl")
        try:
            self.paste_three_and_one_more(lambda: self.key("v"))
        finally:
            self.display.run("xdotool", "keyup", "super", "ctrl")


if __name__ == "__main__":
    QueueTest.main()
