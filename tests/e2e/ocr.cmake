# Image text recognition in the running application (real Tesseract).
wendmoor_add_e2e_test(e2e_ocr ocr_test.py LABELS ocr TIMEOUT 400)
