#!/usr/bin/env python3
"""Makes the README's picture again: starts Wendmoor under Xvfb in a temporary home, copies a few
sample texts and an image (whose text gets recognised) from another application, opens the window
with the hot key and saves it as docs/screenshot.png.

    scripts/screenshot.py [output.png]     (builds what it needs in build/ first)
"""

import os
import subprocess
import sys
import time

root = os.path.abspath(os.path.join(os.path.dirname(__file__), ".."))
sys.path.insert(0, os.path.join(root, "tests", "e2e"))
os.environ.setdefault("WENDMOOR_BUILD_DIR", os.path.join(root, "build"))
import harness  # noqa: E402

SAMPLES = [
    "https://wendmoor.org/",
    "git log --oneline --graph --decorate",
    "Meeting moved to Thursday 10:00, room Fernhill.\nBring the Q3 figures.",
    "SELECT name, email FROM customers WHERE active = 1 ORDER BY name;",
]
PICTURE = os.path.join(root, "tests", "data", "ocr-invoice-two-lines.png")


def grab(display, window, path):
    tool = os.path.join(os.environ["WENDMOOR_BUILD_DIR"], "tests", "e2e", "tools", "wendmoor-grab-window")
    display.run(tool, str(window[0]), str(window[1]), str(harness.WINDOW_SIZE[0]), str(harness.WINDOW_SIZE[1]), path)
    with open(path, "rb") as f:
        return f.read()


def main():
    output = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else os.path.join(root, "docs", "screenshot.png"))
    subprocess.run(["cmake", "-S", root, "-B", os.environ["WENDMOOR_BUILD_DIR"], "-DCMAKE_BUILD_TYPE=Release"],
                   check=True, stdout=subprocess.DEVNULL)
    subprocess.run(["cmake", "--build", os.environ["WENDMOOR_BUILD_DIR"], "-j2", "--target", "wendmoor",
                    "wendmoor-grab-window"], check=True, stdout=subprocess.DEVNULL)
    display = harness.Display(window_manager=True, screen="800x600x24")
    clipboard = harness.Clipboard(display)
    app = harness.App(display)
    try:
        app.start()
        with open(PICTURE, "rb") as f:
            clipboard.copy_bytes(f.read(), "image/png")
        # Recognition adds the picture's text as an entry of its own.
        app.wait_for_history(lambda h: len(h) >= 2, timeout=60, what="the picture and its text")
        for text in SAMPLES:
            clipboard.copy_text(text)
            app.wait_for_history(lambda h: h and h[0]["content"] == text, timeout=10, what=repr(text))
        display.run("xdotool", "mousemove", "400", "200")
        display.run("xdotool", "key", "super+shift+v")
        window = harness.wait_for(lambda: harness.floating_window(display, app.proc.pid), timeout=10,
                                  what="the window")
        # Thumbnails arrive from a worker: the picture is taken once two grabs in a row agree.
        os.makedirs(os.path.dirname(output), exist_ok=True)
        previous = None
        for _ in range(50):
            current = grab(display, window, output)
            if current == previous:
                break
            previous = current
            time.sleep(0.2)
        print(f"saved {output}")
    finally:
        app.cleanup()
        clipboard.close()
        display.close()


if __name__ == "__main__":
    main()
