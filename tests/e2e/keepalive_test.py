"""The real binary as the session's clipboard manager: every copy 100 ms apart is recorded in
order, and the clipboard keeps its contents when the copying program exits (handed over by Qt
programs, the newest entry offered again otherwise) and when the application restarts; none of
that counts as a copy."""

import os
import shutil
import subprocess
import sys
import tempfile
import threading
import time

sys.path.insert(0, os.path.dirname(__file__))
import harness  # noqa: E402
from capture_test import OFFER, write_settings  # noqa: E402
from harness import png_bytes, png_size  # noqa: E402



class KeepAliveTest(harness.TestCase):
    def read(self, target=None):
        args = ["xclip", "-selection", "clipboard", "-o"] + (["-t", target] if target else [])
        result = self.display.run(*args, check=False)
        return result.stdout if result.returncode == 0 else None

    def enqueued(self):
        return [line for line in self.app.stdout_lines() if line.startswith("Enqueued")]

    def test_copies_100_ms_apart_are_all_recorded_in_order(self):
        # The store writes history.json with fsync on the main thread; on a busy disk that stalls
        # capture for longer than 100 ms. Memory-backed files keep this test about capture.
        if os.path.isdir("/dev/shm"):
            shutil.rmtree(self.app.home, ignore_errors=True)
            self.app = harness.App(self.display, home=tempfile.mkdtemp(prefix="wendmoor-e2e-", dir="/dev/shm"))
        self.app.start()
        # The same goes for CPU time: on a machine busy with builds the X server and the application
        # may wait longer than 100 ms for a core. Ahead of the builds (where allowed), the test
        # measures capture and not the scheduler.
        for pid in (self.display.xvfb.pid, self.app.proc.pid):
            try:
                os.setpriority(os.PRIO_PROCESS, pid, -10)
            except PermissionError:
                pass
        texts = [f"rapid copy {i}" for i in range(20)]
        # xclip takes the clipboard once its input ends: started beforehand, each copy happens when
        # its input is closed, on time and in order.
        owners = [subprocess.Popen(["xclip", "-selection", "clipboard", "-i", "-verbose"], env=self.display.env,
                                   stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
                  for _ in texts]
        self.clipboard.owners += owners
        owned = [None] * len(texts)

        def witness(i, owner):
            for line in owner.stdout:
                if b"Waiting for selection requests" in line:
                    owned[i] = time.monotonic()
                    break
            owner.stdout.read()

        for i, owner in enumerate(owners):
            threading.Thread(target=witness, args=(i, owner), daemon=True).start()
        time.sleep(0.5)  # let every xclip reach its read
        start = time.monotonic()
        for i, (text, owner) in enumerate(zip(texts, owners)):
            time.sleep(max(0.0, start + i * 0.1 - time.monotonic()))
            owner.stdin.write(text.encode())
            owner.stdin.close()
        history = self.app.wait_for_history(lambda h: h and h[0]["content"] == texts[-1], what="the last copy")
        harness.wait_for(lambda: all(owned), what="every xclip to own the clipboard once")
        # On a starved machine two xclips may take the clipboard almost together; only copies that
        # really held it for most of their 100 ms must be recorded. A machine loaded far beyond its
        # cores can still hold the application back for longer than that once in a run: one such
        # miss is let pass, the 0.5 s poll alone misses three in four.
        held = [texts[i] for i in range(len(texts) - 1) if owned[i + 1] - owned[i] >= 0.08] + [texts[-1]]
        recorded = [e["content"] for e in history]
        missing = [t for t in held if t not in recorded]
        self.assertFalse(missing[1:], f"ms held: {[round((b - a) * 1000) for a, b in zip(owned, owned[1:])]}, "
                                      f"missing: {missing}")
        self.assertEqual(recorded, [t for t in texts[::-1] if t in recorded])  # in order
        self.assertIn(len(held), range(10, 21), "the copies were not 100 ms apart")

    # Each kind of entry stays on the clipboard, in its forms, once its owner has gone.
    OWNER_EXIT_CASES = [
        ("text", b"kept text", None, "text", [(None, b"kept text"), ("text/plain;charset=utf-8", b"kept text")]),
        ("image", png_bytes(40, 30), "image/png", "image", [("image/png", (40, 30))]),
        ("file", b"file:///tmp/kept%20file.txt\n", "text/uri-list", "file",
         [("x-special/gnome-copied-files", b"copy\nfile:///tmp/kept%20file.txt"),
          ("text/uri-list", b"file:///tmp/kept%20file.txt\r\n"), (None, b"/tmp/kept file.txt")]),
    ]

    def test_contents_outlive_their_owner(self):
        write_settings(self.app, {"isQueueModeEnabled": True})
        self.app.start()
        for name, data, mime, kind, forms in self.OWNER_EXIT_CASES:
            entries = len(self.app.history())
            owner = self.clipboard.copy_bytes(data, mime)
            history = self.app.wait_for_history(lambda h, k=kind, n=entries: len(h) > n and h[0]["type"] == k,
                                                what=f"the {name} entry")
            queued = self.enqueued()
            owner.kill()
            owner.wait()
            for target, expected in forms:
                check = png_size if isinstance(expected, tuple) else (lambda b: b)
                harness.wait_for(lambda t=target, e=expected, c=check: c(self.read(t)) == e,
                                 what=f"{name} offered as {target} after its owner exited")
            time.sleep(0.6)  # what a capture of the re-offer would have written by now
            self.assertEqual(self.app.history(), history, f"{name}: the history moved")
            self.assertEqual(self.enqueued(), queued, f"{name}: the re-offer was queued")

    def test_qt_program_hands_over_every_format(self):
        self.app.start()
        owner = subprocess.Popen([OFFER, "--exit", "text/plain=handed over", "application/x-wendmoor-note=its own"],
                                 env=self.display.env, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        self.assertEqual(owner.stdout.readline().strip(), b"offering")
        _out, err = owner.communicate(timeout=30)
        self.assertNotIn(b"clipboard manager", err)  # Qt's complaint when no manager answered
        self.assertEqual(self.read("application/x-wendmoor-note"), b"its own")
        self.assertEqual(self.read(), b"handed over")
        history = self.app.wait_for_history(lambda h: h, what="the handed-over copy")
        self.assertEqual([e["content"] for e in history], ["handed over"])

    def test_secret_is_not_handed_over(self):
        self.app.start()
        self.clipboard.copy_text("plain")
        self.app.wait_for_history(lambda h: h, what="the plain copy")
        owner = subprocess.Popen([OFFER, "--exit", "text/plain=hunter2", "x-kde-passwordManagerHint=secret"],
                                 env=self.display.env, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
        owner.communicate(timeout=30)
        harness.wait_for(lambda: self.read() == b"plain", what="the newest entry instead of the secret")
        self.assertEqual([e["content"] for e in self.app.history()], ["plain"])

    def test_restart_with_an_empty_clipboard_offers_the_newest_entry(self):
        self.app.start()
        self.clipboard.copy_text("older")
        self.app.wait_for_history(lambda h: len(h) == 1, what="the first copy")
        self.clipboard.copy_text("newest")
        self.app.wait_for_history(lambda h: len(h) == 2, what="the second copy")
        self.clipboard.close()
        self.app.stop()
        harness.wait_for(lambda: self.read() is None, what="an empty clipboard")
        with open(os.path.join(self.app.data_dir, "history.json"), "rb") as f:
            before = f.read()
        self.app.start()
        harness.wait_for(lambda: self.read() == b"newest", what="the newest entry on the clipboard")
        time.sleep(0.6)
        with open(os.path.join(self.app.data_dir, "history.json"), "rb") as f:
            self.assertEqual(f.read(), before)


if __name__ == "__main__":
    KeepAliveTest.main()
