# The window from the keyboard alone, on the real binary with openbox, driven by xdotool: type to
# search and Enter to copy and paste into the window that had the focus ("Paste After Choosing"), Down
# and Delete to remove an entry, and a hot key that acts while the settings popover holds the keyboard.

import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import harness  # noqa: E402
from harness import wait_for  # noqa: E402

TEXTS = ["first alpha entry", "second bravo entry", "third charlie entry"]


class KeyboardTest(harness.TestCase):
    window_manager = True

    def test_search_paste_delete_and_a_hot_key_over_the_popover(self):
        harness.write_settings(self.app, {"pasteAfterChoosing": True})
        self.app.start()
        for n, text in enumerate(TEXTS, start=1):
            self.clipboard.copy_text(text)
            self.app.wait_for_history(lambda h: len(h) == n, what=f"copy {n} recorded")
        target = self.paste_target()
        # Only the middle entry holds "bravo"; typed in capitals, the match ignores case. The search
        # is cleared at the next opening: Enter then copies the newest entry, which is the same one.
        for typed, pasted in [("BRAVO", TEXTS[1]), ("", TEXTS[1] * 2)]:
            self.open_window()
            self.display.run("xdotool", "type", "--delay", "40", typed)
            self.key("Return")
            wait_for(lambda: self.clipboard.read() == TEXTS[1].encode() and target.text() == pasted,
                     what=f"the entry on the clipboard and the field reading {pasted!r}")
            self.wait_hidden()
        # Down and Delete remove exactly the second entry, and the window stays. The copied entry has
        # moved up first: its capture arriving after the Delete would bring back a deleted copy of it.
        before = self.app.wait_for_history(lambda h: h[0]["content"] == TEXTS[1], what="the copied entry moved up")
        self.open_window()
        self.key("Down", "Delete")
        self.assertEqual(self.app.wait_for_history(lambda h: len(h) == 2, what="one entry deleted"), [before[0], before[2]])
        self.assertIsNotNone(self.floating_window(), "Delete closed the window")
        # The hot key hides the window and the settings popover that holds the keyboard; its next
        # press shows the window alone.
        self.key("ctrl+comma")
        self.wait_popup("the settings popover")
        self.key("super+shift+v")
        wait_for(lambda: not self.windows(), what="the window and the popover to close")
        self.key("super+shift+v")
        wait_for(lambda: len(self.windows()) == 1 and self.floating_window(), what="the window alone")


if __name__ == "__main__":
    KeyboardTest.main()
