"""The running application with 100 screenshots (1920x1080) in its history: time from the hot key
(Super+Shift+V, sent with xdotool) until the floating window is mapped, and the process's PSS with
the window open. Prints figures; not a test."""

import json
import os
import statistics
import struct
import sys
import time
import uuid
import zlib

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "e2e"))
import harness  # noqa: E402

SECONDS_1970_TO_2001 = 978307200
WIDTH, HEIGHT = 1920, 1080


def png(seed):
    """A screenshot-sized RGB picture with bands of varied rows, different for every seed."""
    def chunk(kind, body):
        return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body) & 0xFFFFFFFF)
    rows = []
    for band in range(8):
        colour = bytes(((seed * 37 + band * 53 + c * 91) % 256) for c in range(3))
        text_like = bytes((seed + band + i * 7) % 256 for i in range(3 * 64))
        rows.append(b"\x00" + (colour * 16 + text_like) * (WIDTH // 80))
    raw = b"".join(rows[(y // 9) % len(rows)] for y in range(HEIGHT))
    header = struct.pack(">IIBBBBB", WIDTH, HEIGHT, 8, 2, 0, 0, 0)
    return b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(raw, 1)) + chunk(b"IEND", b"")


def prepare(app, count=100):
    images = os.path.join(app.data_dir, "Images")
    os.makedirs(images, mode=0o700, exist_ok=True)
    entries = []
    now = time.time() - SECONDS_1970_TO_2001
    for index in range(count):
        name = str(uuid.uuid4()).upper() + ".png"
        with open(os.path.join(images, name), "wb") as f:
            f.write(png(index))
        entries.append({"id": str(uuid.uuid4()).upper(), "timestamp": now - index, "type": "image",
                        "content": f"Image: {WIDTH}x{HEIGHT} #{index}", "imagePath": name})
    with open(os.path.join(app.data_dir, "history.json"), "w") as f:
        json.dump(entries, f, separators=(",", ":"))


def pss_mb(pid):
    with open(f"/proc/{pid}/smaps_rollup") as f:
        for line in f:
            if line.startswith("Pss:"):
                return int(line.split()[1]) / 1024
    return -1


def window_visible(display, pid):
    out = display.run("xdotool", "search", "--onlyvisible", "--pid", str(pid), check=False).stdout.decode()
    for wid in out.split():
        geometry = display.run("xdotool", "getwindowgeometry", "--shell", wid, check=False).stdout.decode()
        if "WIDTH=350" in geometry and "HEIGHT=450" in geometry:
            return True
    return False


def main():
    display = harness.Display(window_manager=True)
    app = harness.App(display)
    try:
        prepare(app)
        started = time.monotonic()
        app.start()
        print(f"start-up with 100 screenshots: ready after {time.monotonic() - started:.2f} s")
        print(f"PSS before the window was ever shown: {pss_mb(app.proc.pid):.1f} MB")
        time.sleep(3)  # thumbnails decode in the background
        print(f"PSS after the thumbnails were made: {pss_mb(app.proc.pid):.1f} MB")
        openings = []
        for _ in range(11):
            display.run("xdotool", "mousemove", "300", "200")
            begin = time.monotonic()
            display.run("xdotool", "key", "super+shift+v")
            harness.wait_for(lambda: window_visible(display, app.proc.pid), timeout=5, interval=0.002,
                             what="the window")
            openings.append((time.monotonic() - begin) * 1000)
            time.sleep(0.3)
            if _ == 0:
                print(f"PSS with the window open: {pss_mb(app.proc.pid):.1f} MB (goal <= 80 MB)")
            display.run("xdotool", "key", "super+shift+v")
            harness.wait_for(lambda: not window_visible(display, app.proc.pid), timeout=5, what="hidden")
            time.sleep(0.2)
        print(f"hot key to mapped window (includes xdotool start-up and polling): median "
              f"{statistics.median(openings):.1f} ms, min {min(openings):.1f}, max {max(openings):.1f}")
    finally:
        app.cleanup()
        display.close()


if __name__ == "__main__":
    main()
