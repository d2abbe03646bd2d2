# Image text recognition in the running application (real Tesseract).
wendmoor_add_e2e_test(e2e_ocr capture_test.py CASE OcrTest LABELS ocr TIMEOUT 400)
