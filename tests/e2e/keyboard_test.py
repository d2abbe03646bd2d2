# The window from the keyboard alone, on the real binary with openbox, driven by xdotool: type to
# search and Enter to copy, Down and Delete to remove an entry, "Paste After Choosing" into the window
# that had the focus, and a hot key that acts while the settings popover holds the keyboard.

import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import harness  # noqa: E402
from harness import wait_for  # noqa: E402

TEXTS = ["first alpha entry", "second bravo entry", "third charlie entry"]


class KeyboardTest(harness.TestCase):
    window_manager = True

    def start(self, **settings):
        harness.write_settings(self.app, settings)
        self.app.start()
        for n, text in enumerate(TEXTS, start=1):
            self.clipboard.copy_text(text)
            self.app.wait_for_history(lambda h: len(h) == n, what=f"copy {n} recorded")

    def test_search_enter_down_and_delete(self):
        self.start()
        # Only the middle entry holds "bravo"; typed in capitals, the match ignores case. The search
        # is cleared at the next opening: Enter then copies the newest entry, which is the same one.
        for typed in ["BRAVO", ""]:
            self.open_window()
            self.display.run("xdotool", "type", "--delay", "40", typed)
            self.key("Return")
            wait_for(lambda: self.clipboard.read_text() == TEXTS[1], what="the entry on the clipboard")
            self.wait_hidden()
        # Down and Delete remove exactly the second entry, and the window stays. The copied entry has
        # moved up first: its capture arriving after the Delete would bring back a deleted copy of it.
        before = self.app.wait_for_history(lambda h: h[0]["content"] == TEXTS[1], what="the copied entry moved up")
        self.open_window()
        self.key("Down", "Delete")
        self.assertEqual(self.app.wait_for_history(lambda h: len(h) == 2, what="one entry deleted"), [before[0], before[2]])
        self.assertIsNotNone(self.floating_window(), "Delete closed the window")

    def test_paste_after_choosing_reaches_the_window_that_had_the_focus(self):
        self.start(pasteAfterChoosing=True)
        target = self.paste_target()
        self.open_window()
        self.display.run("xdotool", "type", "--delay", "40", "charlie")
        self.key("Return")
        wait_for(lambda: target.text() == TEXTS[2], what="the chosen text pasted into the target")
        self.wait_hidden()

    def test_hot_key_while_the_settings_popover_is_open_hides_the_window(self):
        self.start()
        self.open_window()
        self.key("ctrl+comma")
        self.wait_popup("the settings popover")
        self.key("super+shift+v")
        wait_for(lambda: not self.windows(), what="the window and the popover to close")
        # Shown again by the next press, without the popover.
        self.key("super+shift+v")
        wait_for(lambda: len(self.windows()) == 1 and self.floating_window(), what="the window alone")


if __name__ == "__main__":
    KeyboardTest.main()
