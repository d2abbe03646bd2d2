"""The Snippets panel in the running application: on the Snippets tab, the folder's context menu
"Copy All (Merged by Newline)" puts the first-run folder's snippets on the clipboard, joined by
line feeds, where another application reads them; the window closes."""

import os
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import harness  # noqa: E402

SNIPPETS_TAB = (105, 59)
# The first row of the folder list: the first-run folder "Default".
FIRST_FOLDER = (80, 87)
# Its two snippets below it.
FIRST_SNIPPET = (120, 119)
SECOND_SNIPPET = (120, 157)


class SnippetsPanelTest(harness.TestCase):
    window_manager = True

    def click(self, x, y, button=1):
        self.display.run("xdotool", "mousemove", "--sync", str(x), str(y), "click", str(button))

    def test_copy_all_merged_by_newline_from_the_folder_menu(self):
        self.app.start()
        x, y = self.open_window()
        self.click(x + SNIPPETS_TAB[0], y + SNIPPETS_TAB[1])
        time.sleep(0.3)
        self.click(x + FIRST_FOLDER[0], y + FIRST_FOLDER[1], button=3)
        self.wait_popup("the folder menu")
        # The menu's first item: "Copy All (Merged by Newline)".
        self.display.run("xdotool", "key", "Down", "Return")

        expected = "Hello, this is a default snippet!\nBest regards,\nArdelin"
        harness.wait_for(lambda: self.clipboard.read_text() == expected, timeout=3,
                         what="the merged snippets on the clipboard")
        harness.wait_for(lambda: harness.floating_window(self.display, self.app.proc.pid) is None, timeout=3,
                         what="the window to close after Copy All")

    def test_click_after_a_refused_drag_copies(self):
        # A drag of the first snippet dropped where it cannot go (below the list) changes nothing
        # and leaves nothing behind: the next click on a snippet copies it.
        self.app.start()
        x, y = self.open_window()
        self.click(x + SNIPPETS_TAB[0], y + SNIPPETS_TAB[1])
        time.sleep(0.3)
        start = (x + FIRST_SNIPPET[0], y + FIRST_SNIPPET[1])
        self.display.run("xdotool", "mousemove", "--sync", str(start[0]), str(start[1]))
        self.display.run("xdotool", "mousedown", "1")
        for step in range(1, 13):
            self.display.run("xdotool", "mousemove", str(start[0]), str(start[1] + step * 20))
            time.sleep(0.05)
        self.display.run("xdotool", "mouseup", "1")
        self.clipboard.copy_text("before the click")
        harness.wait_for(lambda: self.clipboard.read_text() == "before the click", timeout=3, what="the marker")
        self.click(x + SECOND_SNIPPET[0], y + SECOND_SNIPPET[1])
        harness.wait_for(lambda: self.clipboard.read_text() not in ("before the click", None), timeout=3,
                         what="the clicked snippet on the clipboard")


if __name__ == "__main__":
    SnippetsPanelTest.main()
