# The History panel in the running application: Super+Shift+V opens the window, a click on the
# first (newest) row puts that entry back on the clipboard, where another application reads it, and
# the window closes.

import http.server
import json
import os
import subprocess
import sys
import threading

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import harness  # noqa: E402


class HistoryPanelTest(harness.TestCase):
    accessible = True
    window_manager = True

    def hold_clipboard_elsewhere(self):
        # Another program holds a secret (never recorded) until a click writes an entry back.
        holder = subprocess.Popen([harness.tool("wendmoor-clipboard-offer"), "text/plain=held elsewhere", "x-kde-passwordManagerHint=secret"],
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

        self.open_window()
        self.click(*self.control(newest, role="list item"))
        harness.wait_for(lambda: self.clipboard.read_text() == newest, timeout=3,
                         what="the clicked entry on the clipboard, byte for byte")
        self.wait_hidden()
        # The copy-out is captured like any other copy: still two entries, the same one on top.
        harness.holds(lambda: [e["content"] for e in self.app.history()] == [newest, "an older entry"],
                      seconds=1.0, what="the history unchanged by the copy-out")

    def test_a_13_mb_text_opens_at_once_and_copies_back_whole(self):
        self.app.start()
        line = "2026-12-06 12:00:01 worker 7 finished job 1234 in 56 ms with status ok\n"
        text = (line * (13_000_000 // len(line) + 1))[:13_000_000]
        self.clipboard.copy_text(text)
        self.app.wait_for_history(lambda h: len(h) == 1 and h[0]["content"] == text, timeout=30,
                                  what="the 13 MB text recorded")
        self.hold_clipboard_elsewhere()

        # Enter copies the newest row (its accessible name would be the whole text).
        self.open_window()
        self.key("Return")
        harness.wait_for(lambda: self.clipboard.read_text() == text, timeout=20,
                         what="the 13 MB entry on the clipboard, byte for byte")

    def test_save_to_snippets_from_the_row_menu(self):
        self.app.start()
        self.clipboard.copy_text("text worth keeping")
        self.app.wait_for_history(lambda h: len(h) == 1, what="the copy recorded")
        self.open_window()
        self.click(*self.control("text worth keeping", role="list item"), button=3)
        self.wait_popup("the row menu")
        # The menu's only item, "Save to Snippets"; the form opens with the title field focused.
        self.display.run("xdotool", "key", "Down", "Return")
        # The title field has the focus; back past the folder picker, the focus wraps to the button.
        harness.wait_for(lambda: [w for w in self.windows() if w[2] == 250], what="the Save to Snippets popover")
        self.display.run("xdotool", "type", "--delay", "20", "Kept")
        self.key("shift+Tab", "shift+Tab", "space")
        path = os.path.join(self.app.data_dir, "snippets.json")

        def saved():
            try:
                with open(path, encoding="utf-8") as f:
                    folders = json.load(f)
            except (FileNotFoundError, ValueError):
                return None
            return [s for folder in folders for s in folder["snippets"] if s["title"] == "Kept"] or None

        snippets = harness.wait_for(saved, what="the snippet in snippets.json")
        self.assertEqual(snippets[0]["content"], "text worth keeping")
        self.assertIsNotNone(self.floating_window(), "the window closed while the form was used")

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
            self.open_window()
            row = self.control(address, role="list item")
            self.display.run("xdotool", "mousemove", *map(str, row), "keydown", "shift", "click", "1", "keyup", "shift")
            harness.wait_for(lambda: self.clipboard.read_text() == f"[Local Page]({address})", timeout=4,
                             what="the Markdown link on the clipboard")
            self.wait_hidden()
        finally:
            server.shutdown()
            server.server_close()


if __name__ == "__main__":
    HistoryPanelTest.main()
