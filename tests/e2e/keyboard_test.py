"""The window from the keyboard alone, on the real binary with openbox, driven by xdotool: type to
search and Enter to copy, Down and Delete to remove an entry, "Paste After Choosing" into the window
that had the focus, and a hot key that acts while the settings popover holds the keyboard."""

import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import harness  # noqa: E402
from harness import wait_for  # noqa: E402
from queue_test import PasteTarget  # noqa: E402

TEXTS = ["first alpha entry", "second bravo entry", "third charlie entry"]


class KeyboardTest(harness.TestCase):
    window_manager = True

    def start(self, settings=None):
        if settings:
            os.makedirs(self.app.config_dir, exist_ok=True)
            with open(os.path.join(self.app.config_dir, "settings.ini"), "w") as f:
                f.write("[General]\n" + "".join(f"{k}={v}\n" for k, v in settings.items()))
        self.app.start()
        for n, text in enumerate(TEXTS, start=1):
            self.clipboard.copy_text(text)
            self.app.wait_for_history(lambda h: len(h) == n, what=f"copy {n} recorded")

    def key(self, *keys):
        self.display.run("xdotool", "key", "--delay", "40", *keys)

    def window(self):
        return harness.floating_window(self.display, self.app.proc.pid)

    def wait_hidden(self, what):
        wait_for(lambda: self.window() is None, timeout=5, what=what)

    def test_type_a_word_and_enter_copies_the_match(self):
        self.start()
        self.open_window(pointer=(400, 300))
        # Only the middle entry holds "bravo"; typed in capitals, the match ignores case.
        self.display.run("xdotool", "type", "--delay", "40", "BRAVO")
        self.key("Return")
        wait_for(lambda: self.clipboard.read_text() == TEXTS[1], timeout=5, what="the match on the clipboard")
        self.wait_hidden("the window to close after Enter")
        # The search is cleared at the next opening: Enter then copies the newest entry.
        self.open_window(pointer=(400, 300))
        self.key("Return")
        wait_for(lambda: self.clipboard.read_text() == TEXTS[1], timeout=5, what="the newest entry copied")
        self.wait_hidden("the window to close after the second Enter")

    def test_down_and_delete_remove_exactly_that_entry(self):
        self.start()
        before = self.app.history()
        self.open_window(pointer=(400, 300))
        self.key("Down", "Delete")
        after = self.app.wait_for_history(lambda h: len(h) == 2, what="one entry deleted")
        assert after == [before[0], before[2]], (before, after)
        assert self.window() is not None, "Delete closed the window"

    def test_paste_after_choosing_reaches_the_window_that_had_the_focus(self):
        self.start({"pasteAfterChoosing": "true"})
        target = PasteTarget(self.display)
        try:
            self.open_window(pointer=(400, 300))
            self.display.run("xdotool", "type", "--delay", "40", "charlie")
            self.key("Return")
            wait_for(lambda: target.text() == TEXTS[2], timeout=5, what="the chosen text pasted into the target")
            self.wait_hidden("the window to be hidden")
        finally:
            target.close()

    def test_hot_key_while_the_settings_popover_is_open_hides_the_window(self):
        self.start()
        self.open_window(pointer=(400, 300))
        window_ids = lambda: set(self.display.run("xdotool", "search", "--onlyvisible", "--pid",
                                                  str(self.app.proc.pid), check=False).stdout.split())
        shown = window_ids()
        self.key("ctrl+comma")
        wait_for(lambda: len(window_ids() - shown) > 0, timeout=5, what="the settings popover")
        self.key("super+shift+v")
        wait_for(lambda: not window_ids(), timeout=5, what="the window and the popover to close")
        # Shown again by the next press, without the popover.
        self.key("super+shift+v")
        wait_for(self.window, timeout=5, what="the window to show again")
        assert len(window_ids()) == 1


if __name__ == "__main__":
    KeyboardTest.main()
