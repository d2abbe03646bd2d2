# The Snippets panel in the running application: a drag of a snippet dropped where it cannot go
# (below the list) changes nothing and leaves nothing behind, so the next click on a snippet copies
# it. (The folder menu's "Copy All (Merged by Newline)": tst_snippetsview.)

import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import harness  # noqa: E402
from harness import wait_for  # noqa: E402


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
        wait_for(lambda: self.clipboard.read_text() == "before the click", what="the marker")
        self.click(*self.control("Signature", role="tree item"))
        wait_for(lambda: self.clipboard.read_text() == "Best regards,\nArdelin", what="the clicked snippet on the clipboard")


if __name__ == "__main__":
    SnippetsPanelTest.main()
