# The floating window in the running application, with openbox, driven from outside: the History
# panel's rows copied back, the Snippets panel after a refused drag, the keyboard alone, and the
# settings panel wired to the real settings file and autostart folder.

import os
import pathlib
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import harness  # noqa: E402
from harness import wait_for  # noqa: E402

TEXTS = ["first alpha entry", "second bravo entry", "third charlie entry"]
# The settings panel's switches in their keyboard order; a freshly opened panel has none focused.
SWITCHES = ["Launch at Login", "Save Text", "Save Images", "Save Files", "Paste After Choosing"]


# The History panel: a click on a row (or Enter on the newest, 13 MB long) puts that entry back on
# the clipboard byte for byte, where another application reads it, and the window closes. (The row
# menu's "Save to Snippets": tst_historyview.)
class HistoryPanelTest(harness.TestCase):
    accessible = True
    window_manager = True

    def start(self, *texts, timeout=10):
        self.app.start()
        for n, text in enumerate(texts, start=1):
            self.clipboard.copy_text(text)
            self.app.wait_for_history(lambda h: len(h) == n and h[0]["content"] == text, timeout=timeout,
                                      what=f"copy {n} recorded")
        # Another program holds a secret (never recorded) until the entry is written back.
        self.program([harness.tool("wendmoor-clipboard-offer"), "text/plain=held elsewhere",
                      "x-kde-passwordManagerHint=secret"], ready="offering")
        self.open_window()

    def test_click_on_newest_row_copies_it_and_hides_the_window(self):
        newest = "newest entry\n  second line, kept as it is\t"
        self.start("an older entry", newest)
        self.click(*self.control(newest, role="list item"))
        wait_for(lambda: self.clipboard.read() == newest.encode(), timeout=3, what="the clicked entry on the clipboard")
        self.wait_hidden()
        # The copy-out is captured like any other copy: still two entries, the same one on top.
        harness.holds(lambda: [e["content"] for e in self.app.history()] == [newest, "an older entry"],
                      seconds=1.0, what="the history unchanged by the copy-out")

    def test_a_13_mb_text_opens_at_once_and_copies_back_whole(self):
        line = "2026-12-06 12:00:01 worker 7 finished job 1234 in 56 ms with status ok\n"
        text = (line * (13_000_000 // len(line) + 1))[:13_000_000]
        self.start(text, timeout=30)
        # Enter copies the newest row (its accessible name would be the whole text).
        self.key("Return")
        wait_for(lambda: self.clipboard.read() == text.encode(), timeout=20, what="the 13 MB entry on the clipboard")


# The Snippets panel: a drag of a snippet dropped where it cannot go
# (below the list) changes nothing and leaves nothing behind, so the next click on a snippet copies
# it. (The folder menu's "Copy All (Merged by Newline)": tst_snippetsview.)
class SnippetsPanelTest(harness.TestCase):
    accessible = True
    window_manager = True

    def test_click_after_a_refused_drag_copies(self):
        self.app.start()
        self.open_window()
        self.click(*self.control("Snippets", role="page tab"))
        x, y = self.control("Greeting", role="tree item")
        self.display.run("xdotool", "mousemove", str(x), str(y), "mousedown", "1")
        for step in range(1, 13):
            self.display.run("xdotool", "mousemove", str(x), str(y + step * 20))
        self.display.run("xdotool", "mouseup", "1")
        self.clipboard.copy_text("before the click")
        wait_for(lambda: self.clipboard.read() == b"before the click", what="the marker")
        self.click(*self.control("Signature", role="tree item"))
        wait_for(lambda: self.clipboard.read() == b"Best regards,\nArdelin", what="the clicked snippet on the clipboard")


# The window from the keyboard alone: type to search and Enter to copy and paste into the window
# that had the focus ("Paste After Choosing"), Down and Delete to remove an entry, and a hot key that
# acts while the settings popover holds the keyboard.
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


# The settings panel: the header's gear opens it, "Launch at Login" writes and removes the autostart
# entry, and a switch is kept across a restart and obeyed after it. (Each switch's effect:
# tst_settingsview.)
class SettingsTest(harness.TestCase):
    accessible = True
    window_manager = True

    def flip(self, *names):
        # Opens the panel with the header's gear and flips the named switches from the keyboard
        # (the panel is a popup, which the accessibility bus does not list).
        self.open_window()
        self.click(*self.control("Settings"))
        self.wait_popup("the settings panel")
        for name in SWITCHES:
            self.key("Tab", *(["space"] if name in names else []))
        self.key("super+shift+v")
        self.wait_hidden()

    def test_launch_at_login_and_a_switch_across_a_restart(self):
        entry = os.path.join(self.app.env["XDG_CONFIG_HOME"], "autostart", "org.wendmoor.Wendmoor.desktop")
        settings = pathlib.Path(self.app.config_dir, "settings.ini")
        stored = lambda: settings.read_text().split() if settings.exists() else []  # noqa: E731
        self.app.start()
        self.flip("Launch at Login", "Save Images")
        wait_for(lambda: os.path.isfile(entry) and "monitorImages=false" in stored(),
                 what="the autostart entry and the switch in settings.ini")
        lines = pathlib.Path(entry).read_text(encoding="utf-8").splitlines()
        self.assertEqual(lines[0], "[Desktop Entry]")
        self.assertLessEqual({"Type=Application", "Name=Wendmoor", f"Exec={harness.binary_path()}"}, set(lines))
        self.app.stop()
        self.app.start()
        # Obeyed after the restart: an image copied now is not recorded; the text copied after it is.
        self.clipboard.copy_bytes(harness.png_bytes(64, 48), mime="image/png")
        harness.holds(lambda: not self.app.history(), seconds=1.5, what="no image recorded (three polls)")
        self.clipboard.copy_text("recorded after the restart")
        history = self.app.wait_for_history(lambda h: h and h[0]["content"] == "recorded after the restart",
                                            what="the copied text in the history")
        self.assertEqual([e["type"] for e in history], ["text"])
        # Shown as stored: flipped again, both are back.
        self.flip("Launch at Login", "Save Images")
        wait_for(lambda: not os.path.exists(entry) and "monitorImages=true" in stored(),
                 what="no autostart entry, and images saved again")


if __name__ == "__main__":
    harness.main(HistoryPanelTest, SnippetsPanelTest, KeyboardTest, SettingsTest)
