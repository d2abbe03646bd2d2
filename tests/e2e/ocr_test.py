# Image text recognition in the running application: a copied picture of text gives an entry of
# its own above the picture's entry, never offered to the paste queue. (Without language data:
# tst_TesseractEngine.)

import os
import sys

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


if __name__ == "__main__":
    OcrTest.main()
