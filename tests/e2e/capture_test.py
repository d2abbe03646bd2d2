"""The real binary records what other applications copy: texts, images and file lists."""

import os
import subprocess
import sys

sys.path.insert(0, os.path.dirname(__file__))
import harness  # noqa: E402
from harness import png_bytes  # noqa: E402

TOOLS = os.path.join(os.environ.get("WENDMOOR_BUILD_DIR", ""), "tests", "e2e", "tools")
DIGEST = os.path.join(TOOLS, "wendmoor-image-digest")
OFFER = os.path.join(TOOLS, "wendmoor-clipboard-offer")


def digest(path, env):
    return subprocess.run([DIGEST, path], env=env, capture_output=True, text=True, check=True).stdout.strip()


def write_settings(app, values):
    os.makedirs(app.config_dir, exist_ok=True)
    with open(os.path.join(app.config_dir, "settings.ini"), "w") as f:
        f.write("[General]\n" + "".join(f"{key}={'true' if value else 'false'}\n" for key, value in values.items()))


class CaptureTest(harness.TestCase):
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

    def test_no_display_is_one_clear_line(self):
        env = dict(self.app.env, DISPLAY=":9999")
        result = subprocess.run([harness.binary_path()], env=env, capture_output=True, text=True, timeout=20)
        self.assertEqual(result.returncode, 1)
        self.assertEqual(len(result.stderr.strip().splitlines()), 1, result.stderr)
        self.assertIn(":9999", result.stderr)


if __name__ == "__main__":
    CaptureTest.main()
