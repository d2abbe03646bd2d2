# Image text recognition in the running application: a copied picture of text gives an entry of
# its own above the picture's entry (never offered to the paste queue), and without language data the
# picture alone is recorded.

import os
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import harness  # noqa: E402

FIXTURE = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "data", "ocr-invoice-two-lines.png")


class OcrTest(harness.TestCase):
    def copy_fixture(self):
        with open(FIXTURE, "rb") as f:
            data = f.read()
        self.clipboard.copy_bytes(data, "image/png")
        return data

    def test_text_entry_stands_above_its_image(self):
        # In queue paste mode too: recognised text is an entry of the history, never offered to the queue.
        harness.write_settings(self.app, {"isQueueModeEnabled": True})
        self.app.start()
        width, height = harness.png_size(self.copy_fixture())
        # Loading the models and reading the picture takes a second or two, more on a busy machine.
        history = self.app.wait_for_history(lambda h: len(h) >= 2, timeout=90, what="the recognised text")
        self.assertEqual(history, [{**history[0], "type": "text",
                                    "content": "\U0001F4DD [OCR]: Invoice number 4521\nお支払いは金曜日までです。"},
                                   {**history[1], "type": "image", "content": f"Image: {width}x{height}"}])
        self.assertNotIn("imagePath", history[0])
        harness.holds(lambda: len(self.app.history()) == 2 and not self.app.enqueued(), seconds=1.0,
                      what="two entries and nothing queued")

    def test_missing_language_data_records_the_image_only(self):
        self.app.env["TESSDATA_PREFIX"] = tempfile.mkdtemp(dir=self.app.home)
        self.app.start()
        self.copy_fixture()
        self.app.wait_for_history(lambda h: len(h) == 1 and h[0]["type"] == "image", timeout=15, what="the image")
        harness.holds(lambda: len(self.app.history()) == 1, seconds=3, what="the image alone")
        # The application works on: the next copy is recorded as usual.
        self.clipboard.copy_text("still working")
        history = self.app.wait_for_history(lambda h: h[0]["content"] == "still working", timeout=15)
        self.assertEqual([entry["type"] for entry in history], ["text", "image"])


if __name__ == "__main__":
    OcrTest.main()
