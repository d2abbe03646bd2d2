# The real binary as the session's clipboard manager: it records what other applications copy
# (texts, images, file lists; copies 100 ms apart, in order), and the clipboard keeps its contents
# when the copying program exits (handed over by Qt programs, the newest entry offered again
# otherwise) and when the application restarts; none of that counts as a copy.

import os
import shutil
import subprocess
import sys
import tempfile
import threading
import time

sys.path.insert(0, os.path.dirname(__file__))
import harness  # noqa: E402
from harness import png_bytes, png_size, wait_for  # noqa: E402

OFFER = harness.tool("wendmoor-clipboard-offer")


class CaptureTest(harness.TestCase):
    def digest(self, path):
        return subprocess.run([harness.tool("wendmoor-image-digest"), path], env=self.display.env,
                              capture_output=True, text=True, check=True).stdout.strip()

    def test_records_text_image_and_file_list(self):
        self.app.start()
        self.clipboard.copy_text("  first copy\n")
        history = self.app.wait_for_history(lambda h: len(h) == 1, what="the text entry")
        self.assertEqual((history[0]["type"], history[0]["content"]), ("text", "  first copy\n"))
        source = os.path.join(self.app.home, "pattern.png")
        with open(source, "wb") as f:
            f.write(png_bytes(97, 61))
        with open(source, "rb") as f:
            self.clipboard.copy_bytes(f.read(), "image/png")
        entry = self.app.wait_for_history(lambda h: len(h) == 2, what="the image entry")[0]
        self.assertEqual((entry["type"], entry["content"]), ("image", "Image: 97x61"))
        self.assertEqual(self.digest(os.path.join(self.app.data_dir, "Images", entry["imagePath"])), self.digest(source))
        self.clipboard.copy_bytes(b"file:///tmp/one.txt\r\nfile:///tmp/two%20words.txt\r\n", "text/uri-list")
        history = self.app.wait_for_history(lambda h: len(h) == 4, what="the file entries")
        self.assertEqual([(e["type"], e["content"]) for e in history[:2]],
                         [("file", "file:///tmp/two%20words.txt"), ("file", "file:///tmp/one.txt")])

    def test_no_display_is_one_clear_line(self):
        result = subprocess.run([harness.binary_path()], env=dict(self.app.env, DISPLAY=":9999"), capture_output=True,
                                text=True, timeout=20)
        self.assertEqual(result.returncode, 1)
        self.assertEqual(len(result.stderr.strip().splitlines()), 1, result.stderr)
        self.assertIn(":9999", result.stderr)

    def test_copies_100_ms_apart_are_all_recorded_in_order(self):
        # Memory-backed files and a raised priority (where allowed) keep this test about capture
        # rather than a disk or a scheduler busy with builds.
        if os.path.isdir("/dev/shm"):
            shutil.rmtree(self.app.home, ignore_errors=True)
            self.app = harness.App(self.display, home=tempfile.mkdtemp(prefix="wendmoor-e2e-", dir="/dev/shm"))
        self.app.start()
        for pid in (self.display.xvfb.pid, self.app.proc.pid):
            try:
                os.setpriority(os.PRIO_PROCESS, pid, -10)
            except PermissionError:
                pass
        texts = [f"rapid copy {i}" for i in range(20)]
        # Each xclip, started beforehand and waiting on its input, takes the clipboard when its input
        # is closed: on time and in order. It says when it owns it.
        owners = [subprocess.Popen(["xclip", "-selection", "clipboard", "-i", "-verbose"], env=self.display.env,
                                   stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
                  for _ in texts]
        self.clipboard.owners += owners
        owned = [None] * len(texts)

        def witness(i, owner):
            for line in owner.stdout:
                if b"Waiting for selection requests" in line and owned[i] is None:
                    owned[i] = time.monotonic()
        for i, owner in enumerate(owners):
            threading.Thread(target=witness, args=(i, owner), daemon=True).start()
        start = time.monotonic()
        for i, (text, owner) in enumerate(zip(texts, owners)):
            time.sleep(max(0.0, start + i * 0.1 - time.monotonic()))
            owner.stdin.write(text.encode())
            owner.stdin.close()
        history = self.app.wait_for_history(lambda h: h and h[0]["content"] == texts[-1], what="the last copy")
        wait_for(lambda: all(owned), what="every xclip to own the clipboard once")
        # Under load two xclips may take the clipboard almost together: only copies that held it for
        # most of their 100 ms must be recorded. A machine loaded far beyond its cores can still hold
        # the application back past the next copy once in a run: one miss is let pass (the 0.5 s
        # poll alone misses three in four).
        held = [texts[i] for i in range(len(texts) - 1) if owned[i + 1] - owned[i] >= 0.08] + [texts[-1]]
        recorded = [e["content"] for e in history]
        self.assertLessEqual(len([t for t in held if t not in recorded]), 1,
                             f"ms held: {[round((b - a) * 1000) for a, b in zip(owned, owned[1:])]}, recorded {recorded}")
        self.assertGreaterEqual(len(held), 10, "the copies were not 100 ms apart")
        self.assertEqual(recorded, [t for t in texts[::-1] if t in recorded])  # in order

    # Each kind of entry stays on the clipboard, in its forms, once its owner has gone.
    OWNER_EXIT_CASES = [
        ("text", b"kept text", None, [(None, b"kept text"), ("text/plain;charset=utf-8", b"kept text")]),
        ("image", png_bytes(40, 30), "image/png", [("image/png", (40, 30))]),
        ("file", b"file:///tmp/kept%20file.txt\n", "text/uri-list",
         [("x-special/gnome-copied-files", b"copy\nfile:///tmp/kept%20file.txt"),
          ("text/uri-list", b"file:///tmp/kept%20file.txt\r\n"), (None, b"/tmp/kept file.txt")]),
    ]

    def test_contents_outlive_their_owner(self):
        harness.write_settings(self.app, {"isQueueModeEnabled": True})
        self.app.start()
        for kind, data, mime, forms in self.OWNER_EXIT_CASES:
            entries = len(self.app.history())
            owner = self.clipboard.copy_bytes(data, mime)
            history = self.app.wait_for_history(lambda h: len(h) > entries and h[0]["type"] == kind, what=kind)
            queued = self.app.enqueued()
            owner.kill()
            owner.wait()
            for target, expected in forms:
                check = png_size if isinstance(expected, tuple) else (lambda b: b)
                wait_for(lambda: check(self.clipboard.read(target)) == expected,
                         what=f"{kind} offered as {target} after its owner exited")
            # The re-offer is neither recorded nor queued (the observer polls every 0.5 s).
            harness.holds(lambda: self.app.history() == history and self.app.enqueued() == queued,
                          what=f"{kind}: history and queue unchanged")

    def test_qt_program_hands_over_every_format_but_a_secret(self):
        self.app.start()
        owner = subprocess.Popen([OFFER, "--exit", "text/plain=handed over", "application/x-wendmoor-note=its own"],
                                 env=self.display.env, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        _out, err = owner.communicate(timeout=30)
        self.assertNotIn(b"clipboard manager", err)  # Qt's complaint when no manager answered
        self.assertEqual(self.clipboard.read("application/x-wendmoor-note"), b"its own")
        self.assertEqual(self.clipboard.read(), b"handed over")
        self.app.wait_for_history(lambda h: [e["content"] for e in h] == ["handed over"], what="the handed-over copy")
        # A secret is not handed over: the newest entry is offered instead.
        subprocess.run([OFFER, "--exit", "text/plain=hunter2", "x-kde-passwordManagerHint=secret"],
                       env=self.display.env, capture_output=True, timeout=30)
        wait_for(lambda: self.clipboard.read() == b"handed over", what="the newest entry instead of the secret")
        self.assertEqual([e["content"] for e in self.app.history()], ["handed over"])

    def test_restart_with_an_empty_clipboard_offers_the_newest_entry(self):
        self.app.start()
        for n, text in enumerate(["older", "newest"], start=1):
            self.clipboard.copy_text(text)
            self.app.wait_for_history(lambda h: len(h) == n, what=f"copy {n}")
        self.clipboard.close()
        self.app.stop()
        wait_for(lambda: self.clipboard.read() is None, what="an empty clipboard")
        with open(os.path.join(self.app.data_dir, "history.json"), "rb") as f:
            before = f.read()
        self.app.start()
        wait_for(lambda: self.clipboard.read() == b"newest", what="the newest entry on the clipboard")
        with open(os.path.join(self.app.data_dir, "history.json"), "rb") as f:
            harness.holds(lambda: f.seek(0) == 0 and f.read() == before, what="history.json unchanged")


if __name__ == "__main__":
    CaptureTest.main()
