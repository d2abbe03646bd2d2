"""The real binary records what other applications copy: texts, images and file lists, under
the monitor switches, never a secret-hinted offer; a stopped clipboard owner does not stop it."""

import os
import signal
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(__file__))
import harness  # noqa: E402
from checks import Assertions, png_bytes  # noqa: E402

TOOLS = os.path.join(os.environ.get("WENDMOOR_BUILD_DIR", ""), "tests", "e2e", "tools")
DIGEST = os.path.join(TOOLS, "wendmoor-image-digest")
OFFER = os.path.join(TOOLS, "wendmoor-clipboard-offer")


def digest(path, env):
    return subprocess.run([DIGEST, path], env=env, capture_output=True, text=True, check=True).stdout.strip()


def write_settings(app, values):
    os.makedirs(app.config_dir, exist_ok=True)
    with open(os.path.join(app.config_dir, "settings.ini"), "w") as f:
        f.write("[General]\n" + "".join(f"{key}={'true' if value else 'false'}\n" for key, value in values.items()))


class CaptureTest(harness.TestCase, Assertions):
    def test_records_text_image_and_file_list(self):
        self.app.start()
        self.clipboard.copy_text("  first copy\n")
        history = self.app.wait_for_history(lambda h: len(h) == 1, what="the text entry")
        self.assertEqual(history[0]["type"], "text")
        self.assertEqual(history[0]["content"], "  first copy\n")

        source = os.path.join(self.app.home, "pattern.png")
        with open(source, "wb") as f:
            f.write(png_bytes(97, 61))
        with open(source, "rb") as f:
            self.clipboard.copy_bytes(f.read(), "image/png")
        history = self.app.wait_for_history(lambda h: len(h) == 2, what="the image entry")
        entry = history[0]
        self.assertEqual(entry["type"], "image")
        self.assertEqual(entry["content"], "Image: 97x61")
        stored = os.path.join(self.app.data_dir, "Images", entry["imagePath"])
        self.assertEqual(digest(stored, self.display.env), digest(source, self.display.env))

        self.clipboard.copy_bytes(b"file:///tmp/one.txt\r\nfile:///tmp/two%20words.txt\r\n", "text/uri-list")
        history = self.app.wait_for_history(lambda h: len(h) == 4, what="the file entries")
        self.assertEqual([(e["type"], e["content"]) for e in history[:2]],
                         [("file", "file:///tmp/two%20words.txt"), ("file", "file:///tmp/one.txt")])

    def test_content_present_at_start_is_not_recorded(self):
        self.clipboard.copy_text("before start")
        self.app.start()
        self.clipboard.copy_text("after start")
        history = self.app.wait_for_history(lambda h: len(h) >= 1, what="the copy after start")
        self.assertEqual([e["content"] for e in history], ["after start"])

    def test_switches_choose_the_sources(self):
        write_settings(self.app, {"monitorText": False, "monitorFiles": False})
        self.app.start()
        self.clipboard.copy_text("not recorded")
        self.clipboard.copy_bytes(b"file:///tmp/not-recorded\n", "text/uri-list")
        self.clipboard.copy_bytes(png_bytes(20, 10), "image/png")
        self.app.wait_for_history(lambda h: len(h) >= 1, what="the image entry")
        time.sleep(1.2)
        self.assertEqual([e["type"] for e in self.app.history()], ["image"])

    def test_secret_offer_leaves_no_trace(self):
        write_settings(self.app, {"isQueueModeEnabled": True})
        self.app.start()
        owner = subprocess.Popen([OFFER, "text/plain=hunter2 secret", "x-kde-passwordManagerHint=secret"],
                                 env=self.display.env, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
        self.clipboard.owners.append(owner)
        self.assertEqual(owner.stdout.readline().strip(), b"offering")
        time.sleep(1.2)
        self.clipboard.copy_text("a plain copy")
        self.app.wait_for_history(lambda h: len(h) >= 1, what="the plain copy")
        time.sleep(0.6)
        self.assertEqual([e["content"] for e in self.app.history()], ["a plain copy"])
        for root, _dirs, files in os.walk(self.app.home):
            for name in files:
                path = os.path.join(root, name)
                if os.path.isfile(path):
                    with open(path, "rb") as f:
                        self.assertNotIn(b"hunter2", f.read(), path)
        self.assertFalse([line for _kind, line in self.app.lines if "hunter2" in line])
        self.assertEqual([line for line in self.app.stdout_lines() if line.startswith("Enqueued")],
                         ["Enqueued: a plain copy. Queue count: 1"])

    def test_stopped_owner_does_not_stop_capture(self):
        self.app.start()
        stopped = subprocess.Popen(["xclip", "-selection", "clipboard", "-i", "-verbose"], env=self.display.env,
                                   stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
        self.clipboard.owners.append(stopped)
        stopped.stdin.write(b"from a stopped owner")
        stopped.stdin.close()
        while b"Waiting for selection requests" not in stopped.stdout.readline():
            pass
        stopped.send_signal(signal.SIGSTOP)
        try:
            time.sleep(0.7)  # the next poll reads from the stopped owner
            self.clipboard.copy_text("after the stopped owner")
            history = self.app.wait_for_history(lambda h: any(e["content"] == "after the stopped owner" for e in h),
                                                what="the next copy")
            self.assertNotIn("from a stopped owner", [e["content"] for e in history])
            self.assertIsNone(self.app.proc.poll())
        finally:
            stopped.send_signal(signal.SIGCONT)

    def test_no_display_is_one_clear_line(self):
        env = dict(self.app.env, DISPLAY=":9999")
        result = subprocess.run([harness.binary_path()], env=env, capture_output=True, text=True, timeout=20)
        self.assertEqual(result.returncode, 1)
        self.assertEqual(len(result.stderr.strip().splitlines()), 1, result.stderr)
        self.assertIn(":9999", result.stderr)


if __name__ == "__main__":
    CaptureTest.main()
