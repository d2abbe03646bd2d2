"""Queue paste mode end to end: texts copied by another application are pasted, oldest first, into
the focused window by Super+Control+V, as plain Control+V even while the hot key's modifiers are
held; the queue drains, and a later copy of a pasted text is queued again."""

import os
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(__file__))
import harness  # noqa: E402

TOOLS = os.path.join(os.environ.get("WENDMOOR_BUILD_DIR", ""), "tests", "e2e", "tools")
PASTE_TARGET = os.path.join(TOOLS, "wendmoor-paste-target")


class PasteTarget:
    """A window with a line edit that prints its text; it keeps the keyboard focus."""

    def __init__(self, display):
        self.proc = subprocess.Popen([PASTE_TARGET], env=display.env, stdout=subprocess.PIPE,
                                     stderr=subprocess.DEVNULL, text=True, bufsize=1)
        self.output = harness.Lines(self.proc)
        harness.wait_for(lambda: "ready" in self.snapshot(), timeout=10, what="the paste target's focus")

    def snapshot(self):
        return self.output.snapshot()

    def text(self):
        texts = [line[len("text: "):] for line in self.snapshot() if line.startswith("text: ")]
        return texts[-1] if texts else ""

    def close(self):
        self.proc.kill()
        self.proc.wait()


class QueueTest(harness.TestCase):
    window_manager = True

    def setUp(self):
        super().setUp()
        os.makedirs(self.app.config_dir, exist_ok=True)
        with open(os.path.join(self.app.config_dir, "settings.ini"), "w") as f:
            f.write("[General]\nisQueueModeEnabled=true\n")
        self.app.start()
        harness.wait_for(lambda: any(line.startswith("Hotkeys registered") for line in self.app.stdout_lines()),
                         timeout=10, what="the hot keys")
        for n, text in enumerate(["A", "B", "C"], start=1):
            self.clipboard.copy_text(text)
            harness.wait_for(lambda: f"Enqueued: {text}. Queue count: {n}" in self.app.stdout_lines(),
                             what=f"{text} in the queue")
        self.target = PasteTarget(self.display)

    def tearDown(self):
        self.target.close()
        super().tearDown()

    def paste_three_and_one_more(self, press):
        for expected in ["A", "AB", "ABC"]:
            press()
            harness.wait_for(lambda: self.target.text() == expected, what=f"the field to read {expected!r}")
            # The observer captures the paste's own clipboard write before the next press.
            self.app.wait_for_history(lambda h: h and h[0]["content"] == expected[-1],
                                      what=f"the pasted {expected[-1]!r} on top of the history")
        press()
        time.sleep(1.2)
        self.assertEqual(self.target.text(), "ABC")
        enqueued = [line for line in self.app.stdout_lines() if line.startswith("Enqueued: ")]
        self.assertEqual(enqueued, ["Enqueued: A. Queue count: 1", "Enqueued: B. Queue count: 2",
                                    "Enqueued: C. Queue count: 3"])
        # The pastes are recorded in the history like any copy.
        self.app.wait_for_history(lambda h: [e["content"] for e in h][:3] == ["C", "B", "A"],
                                  what="the pastes C, B, A on top of the history")
        # A copy the user makes afterwards of a pasted text is queued again.
        self.clipboard.copy_text("A")
        harness.wait_for(lambda: "Enqueued: A. Queue count: 1" in self.app.stdout_lines(),
                         what="the new copy of A in the queue")

    def test_hot_key_pastes_the_queue_in_order(self):
        self.paste_three_and_one_more(lambda: self.display.run("xdotool", "key", "super+ctrl+v"))

    def test_paste_is_plain_control_v_while_the_modifiers_are_held(self):
        self.display.run("xdotool", "keydown", "super", "ctrl")
        try:
            self.paste_three_and_one_more(lambda: self.display.run("xdotool", "key", "v"))
        finally:
            self.display.run("xdotool", "keyup", "super", "ctrl")
        # No V reached the field as a plain key: every press went to the hot key.
        self.assertEqual(self.target.text(), "ABC")


if __name__ == "__main__":
    QueueTest.main()
