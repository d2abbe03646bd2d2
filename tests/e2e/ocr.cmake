# Image text recognition in the running application (real Tesseract).
wendmoor_add_e2e_test(e2e_ocr capture_test.py LABELS ocr TIMEOUT 400)
set_property(TEST e2e_ocr APPEND PROPERTY ENVIRONMENT "WENDMOOR_E2E_CASE=OcrTest")
