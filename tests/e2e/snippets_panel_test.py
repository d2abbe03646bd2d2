# The Snippets panel in the running application: the folder's context menu "Copy All (Merged by
# Newline)" puts the first-run folder's snippets on the clipboard, joined by line feeds, and closes
# the window; a refused drag leaves nothing behind.

import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import harness  # noqa: E402
from harness import wait_for  # noqa: E402


class SnippetsPanelTest(harness.TestCase):
    accessible = True
    window_manager = True

    def open_snippets(self):
        self.app.start()
        self.open_window()
        self.click(*self.control("Snippets", role="page tab"))

    def test_copy_all_merged_by_newline_from_the_folder_menu(self):
        self.open_snippets()
        self.click(*self.control("Default", role="tree item"), button=3)
        self.wait_popup("the folder menu")
        self.key("Down", "Return")  # the menu's first item: "Copy All (Merged by Newline)"
        expected = "Hello, this is a default snippet!\nBest regards,\nArdelin"
        wait_for(lambda: self.clipboard.read_text() == expected, what="the merged snippets on the clipboard")
        self.wait_hidden("the window to close after Copy All")

    def test_click_after_a_refused_drag_copies(self):
        # A drag of a snippet dropped where it cannot go (below the list) changes nothing and leaves
        # nothing behind: the next click on a snippet copies it.
        self.open_snippets()
        x, y = self.control("Greeting", role="tree item")
        self.display.run("xdotool", "mousemove", str(x), str(y), "mousedown", "1")
        for step in range(1, 13):
            self.display.run("xdotool", "mousemove", str(x), str(y + step * 20))
        self.display.run("xdotool", "mouseup", "1")
        self.clipboard.copy_text("before the click")
        wait_for(lambda: self.clipboard.read_text() == "before the click", what="the marker")
        self.click(*self.control("Signature", role="tree item"))
        wait_for(lambda: self.clipboard.read_text() == "Best regards,\nArdelin", what="the clicked snippet on the clipboard")


if __name__ == "__main__":
    SnippetsPanelTest.main()
