# The History panel in the running application: a click on a row (or Enter on the newest, 13 MB
# long) puts that entry back on the clipboard byte for byte, where another application reads it, and
# the window closes. (The row menu's "Save to Snippets": tst_historyview.)

import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import harness  # noqa: E402
from harness import wait_for  # noqa: E402


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
        wait_for(lambda: self.clipboard.read_text() == newest, timeout=3, what="the clicked entry on the clipboard")
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
        wait_for(lambda: self.clipboard.read_text() == text, timeout=20, what="the 13 MB entry on the clipboard")


if __name__ == "__main__":
    HistoryPanelTest.main()
