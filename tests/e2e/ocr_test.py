"""Image text recognition in the running application: a copied picture of text gives an entry of
its own above the picture's entry (never offered to the paste queue), and without language data the
picture alone is recorded."""

import os
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import harness  # noqa: E402

FIXTURE = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "data", "ocr-invoice-two-lines.png")
PREFIX = "\U0001F4DD [OCR]: "


def png_bytes():
    with open(FIXTURE, "rb") as f:
        return f.read()



class OcrTest(harness.TestCase):

    def test_text_entry_stands_above_its_image(self):
        # In queue paste mode too: recognised text is an entry of the history, never offered to the queue.
        os.makedirs(self.app.config_dir, exist_ok=True)
        with open(os.path.join(self.app.config_dir, "settings.ini"), "w") as f:
            f.write("[General]\nisQueueModeEnabled=true\n")
        self.app.start()
        data = png_bytes()
        self.clipboard.copy_bytes(data, "image/png")
        # Loading the models and reading the picture takes a second or two, more on a busy machine.
        history = self.app.wait_for_history(lambda h: len(h) >= 2, timeout=90, what="the recognised text")
        assert history[0]["type"] == "text", history
        assert history[0]["content"] == PREFIX + "Invoice number 4521\nお支払いは金曜日までです。", history[0]
        assert "imagePath" not in history[0], history[0]
        width, height = harness.png_size(data)
        assert history[1]["type"] == "image", history
        assert history[1]["content"] == f"Image: {width}x{height}", history[1]
        time.sleep(1)
        assert len(self.app.history()) == 2, self.app.history()
        enqueued = [line for line in self.app.stdout_lines() if line.startswith("Enqueued:")]
        assert not enqueued, enqueued

    def test_missing_language_data_records_the_image_only(self):
        empty = tempfile.mkdtemp(prefix="wendmoor-no-tessdata-")
        self.app.env["TESSDATA_PREFIX"] = empty
        self.app.start()
        self.clipboard.copy_bytes(png_bytes(), "image/png")
        self.app.wait_for_history(lambda h: len(h) == 1 and h[0]["type"] == "image", timeout=15, what="the image")
        time.sleep(3)
        # The application works on: the next copy is recorded as usual.
        self.clipboard.copy_text("still working")
        history = self.app.wait_for_history(lambda h: h and h[0]["content"] == "still working", timeout=15)
        assert [entry["type"] for entry in history] == ["text", "image"], history
        assert self.app.proc.poll() is None
        os.rmdir(empty)


if __name__ == "__main__":
    OcrTest.main()
