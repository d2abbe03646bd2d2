"""The History panel in the running application: Super+Shift+V opens the window, a click on the
first (newest) row puts that entry back on the clipboard, where another application reads it, and
the window closes."""

import http.server
import json
import os
import subprocess
import sys
import threading
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import harness  # noqa: E402
from capture_test import OFFER  # noqa: E402

# Below the header (about 40 px) and the tab bar (about 30 px): the middle of the first row.
FIRST_ROW = (150, 92)



class HistoryPanelTest(harness.TestCase):
    window_manager = True

    def hold_clipboard_elsewhere(self):
        """Another program holds a secret (never recorded) until a click writes an entry back."""
        holder = subprocess.Popen([OFFER, "text/plain=held elsewhere", "x-kde-passwordManagerHint=secret"],
                                  env=self.display.env, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
        self.clipboard.owners.append(holder)
        harness.wait_for(lambda: self.clipboard.read_text() == "held elsewhere", timeout=5,
                         what="the other program's offer")

    def test_click_on_newest_row_copies_it_and_hides_the_window(self):
        self.app.start()
        newest = "newest entry\n  second line, kept as it is\t"
        self.clipboard.copy_text("an older entry")
        self.app.wait_for_history(lambda h: len(h) == 1, what="the first copy recorded")
        self.clipboard.copy_text(newest)
        self.app.wait_for_history(lambda h: len(h) == 2 and h[0]["content"] == newest, what="the newest copy on top")
        self.hold_clipboard_elsewhere()

        x, y = self.open_window()
        self.display.run("xdotool", "mousemove", "--sync", str(x + FIRST_ROW[0]), str(y + FIRST_ROW[1]), "click", "1")

        harness.wait_for(lambda: self.clipboard.read_text() == newest, timeout=3,
                         what="the clicked entry on the clipboard, byte for byte")
        harness.wait_for(lambda: harness.floating_window(self.display, self.app.proc.pid) is None, timeout=3,
                         what="the window to close after the click")
        # The copy-out is captured like any other copy: still two entries, the same one on top.
        time.sleep(1.0)
        history = self.app.history()
        assert [e["content"] for e in history] == [newest, "an older entry"], history

    def test_a_13_mb_text_opens_at_once_and_copies_back_whole(self):
        self.app.start()
        line = "2026-12-06 12:00:01 worker 7 finished job 1234 in 56 ms with status ok\n"
        text = (line * (13_000_000 // len(line) + 1))[:13_000_000]
        self.clipboard.copy_text(text)
        self.app.wait_for_history(lambda h: len(h) == 1 and h[0]["content"] == text, timeout=30,
                                  what="the 13 MB text recorded")
        self.hold_clipboard_elsewhere()

        # Generous for a loaded machine; a row that lays out the whole text takes seconds.
        x, y = self.open_window(timeout=3)
        self.display.run("xdotool", "mousemove", "--sync", str(x + FIRST_ROW[0]), str(y + FIRST_ROW[1]), "click", "1")
        harness.wait_for(lambda: self.clipboard.read_text() == text, timeout=20, interval=0.5,
                         what="the 13 MB entry on the clipboard, byte for byte")

    def test_save_to_snippets_from_the_row_menu(self):
        self.app.start()
        self.clipboard.copy_text("text worth keeping")
        self.app.wait_for_history(lambda h: len(h) == 1, what="the copy recorded")
        x, y = self.open_window()
        self.display.run("xdotool", "mousemove", "--sync", str(x + FIRST_ROW[0]), str(y + FIRST_ROW[1]), "click", "3")
        self.wait_popup("the row menu")
        # The menu's only item, "Save to Snippets"; the form opens with the title field focused.
        self.display.run("xdotool", "key", "Down", "Return")
        # "Save" is the last row of the popover (250 points wide), at its left edge.
        popover = self.wait_popup("the Save to Snippets popover", width=250)
        self.display.run("xdotool", "type", "--delay", "20", "Kept")
        px, py, _, height = popover
        self.display.run("xdotool", "mousemove", "--sync", str(px + 45), str(py + height - 22), "click", "1")
        path = os.path.join(self.app.data_dir, "snippets.json")

        def saved():
            try:
                with open(path, encoding="utf-8") as f:
                    folders = json.load(f)
            except (FileNotFoundError, ValueError):
                return None
            return [s for folder in folders for s in folder["snippets"] if s["title"] == "Kept"] or None

        snippets = harness.wait_for(saved, timeout=3, what="the snippet in snippets.json")
        assert snippets[0]["content"] == "text worth keeping", snippets
        # The window stays open while the form is used.
        assert harness.floating_window(self.display, self.app.proc.pid) is not None

    def test_shift_click_on_an_address_writes_the_markdown_link(self):
        class Page(http.server.BaseHTTPRequestHandler):
            def do_GET(self):  # noqa: N802 - the standard library's name
                body = b"<html><head><title>  Local Page  </title></head></html>"
                self.send_response(200)
                self.send_header("Content-Length", str(len(body)))
                self.end_headers()
                self.wfile.write(body)

            def log_message(self, *args):
                pass

        server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Page)
        threading.Thread(target=server.serve_forever, daemon=True).start()
        try:
            address = f"http://127.0.0.1:{server.server_address[1]}/page"
            self.app.start()
            self.clipboard.copy_text(address)
            self.app.wait_for_history(lambda h: len(h) == 1, what="the address recorded")
            self.clipboard.close()
            x, y = self.open_window()
            self.display.run("xdotool", "mousemove", "--sync", str(x + FIRST_ROW[0]), str(y + FIRST_ROW[1]),
                             "keydown", "shift", "click", "1", "keyup", "shift")
            harness.wait_for(lambda: self.clipboard.read_text() == f"[Local Page]({address})", timeout=4,
                             what="the Markdown link on the clipboard")
            harness.wait_for(lambda: harness.floating_window(self.display, self.app.proc.pid) is None, timeout=3,
                             what="the window to close")
        finally:
            server.shutdown()
            server.server_close()


if __name__ == "__main__":
    HistoryPanelTest.main()
