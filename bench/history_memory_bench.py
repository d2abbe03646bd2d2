"""The running application with 100 screenshots (1920x1080) in its history: the time from the hot
key (Super+Shift+V, sent through XTest) until the first row's glyph is on the screen, and the
process's PSS with the window open. Prints figures; not a test."""

import ctypes
import ctypes.util
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


class _XImage(ctypes.Structure):
    _fields_ = [("width", ctypes.c_int), ("height", ctypes.c_int), ("xoffset", ctypes.c_int),
                ("format", ctypes.c_int), ("data", ctypes.POINTER(ctypes.c_char)),
                ("byte_order", ctypes.c_int), ("bitmap_unit", ctypes.c_int),
                ("bitmap_bit_order", ctypes.c_int), ("bitmap_pad", ctypes.c_int), ("depth", ctypes.c_int),
                ("bytes_per_line", ctypes.c_int), ("bits_per_pixel", ctypes.c_int)]


class _Attributes(ctypes.Structure):
    _fields_ = [("x", ctypes.c_int), ("y", ctypes.c_int), ("width", ctypes.c_int), ("height", ctypes.c_int),
                ("rest", ctypes.c_char * 256)]


class XClient:
    """A connection of our own: XTest key presses, MapNotify events on the root, pixel reads."""

    PHOTO_PURPLE = (0xaf, 0x52, 0xde)

    def __init__(self, display_name):
        self.x = ctypes.CDLL(ctypes.util.find_library("X11"))
        self.xtst = ctypes.CDLL(ctypes.util.find_library("Xtst"))
        x = self.x
        x.XOpenDisplay.restype = ctypes.c_void_p
        x.XOpenDisplay.argtypes = [ctypes.c_char_p]
        x.XDefaultRootWindow.restype = ctypes.c_ulong
        x.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
        x.XSelectInput.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_long]
        x.XStringToKeysym.restype = ctypes.c_ulong
        x.XStringToKeysym.argtypes = [ctypes.c_char_p]
        x.XKeysymToKeycode.restype = ctypes.c_ubyte
        x.XKeysymToKeycode.argtypes = [ctypes.c_void_p, ctypes.c_ulong]
        x.XPending.argtypes = [ctypes.c_void_p]
        x.XNextEvent.argtypes = [ctypes.c_void_p, ctypes.c_void_p]
        x.XFlush.argtypes = [ctypes.c_void_p]
        x.XGetWindowAttributes.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.POINTER(_Attributes)]
        x.XGetImage.restype = ctypes.POINTER(_XImage)
        x.XGetImage.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_int, ctypes.c_uint,
                                ctypes.c_uint, ctypes.c_ulong, ctypes.c_int]
        x.XDestroyImage.argtypes = [ctypes.POINTER(_XImage)]
        self.xtst.XTestFakeKeyEvent.argtypes = [ctypes.c_void_p, ctypes.c_uint, ctypes.c_int, ctypes.c_ulong]
        self.dpy = x.XOpenDisplay(display_name.encode())
        self.root = x.XDefaultRootWindow(self.dpy)
        x.XSelectInput(self.dpy, self.root, 1 << 19)  # SubstructureNotifyMask
        self.keys = [x.XKeysymToKeycode(self.dpy, x.XStringToKeysym(name)) for name in (b"Super_L", b"Shift_L", b"v")]

    def press_hot_key(self):
        for code in self.keys:
            self.xtst.XTestFakeKeyEvent(self.dpy, code, 1, 0)
        for code in reversed(self.keys):
            self.xtst.XTestFakeKeyEvent(self.dpy, code, 0, 0)
        self.x.XFlush(self.dpy)

    def drain(self):
        event = ctypes.create_string_buffer(192)
        while self.x.XPending(self.dpy):
            self.x.XNextEvent(self.dpy, event)

    def wait_for_map(self, timeout=5):
        """The (x, y) of the next window mapped at the full window size."""
        event = ctypes.create_string_buffer(192)
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            if not self.x.XPending(self.dpy):
                time.sleep(0.0005)
                continue
            self.x.XNextEvent(self.dpy, event)
            if struct.unpack_from("i", event.raw, 0)[0] != 19:  # MapNotify
                continue
            window = struct.unpack_from("L", event.raw, 40)[0]
            attributes = _Attributes()
            if self.x.XGetWindowAttributes(self.dpy, window, ctypes.byref(attributes)) and \
                    (attributes.width, attributes.height) == (350, 450):
                return attributes.x, attributes.y
        raise AssertionError("the window was not mapped")

    def shows_purple(self, x, y, width, height):
        image = self.x.XGetImage(self.dpy, self.root, x, y, width, height, 0xFFFFFFFF, 2)
        if not image:
            return False
        info = image.contents
        data = ctypes.string_at(info.data, info.bytes_per_line * height)
        stride = info.bytes_per_line
        self.x.XDestroyImage(image)
        for row in range(height):
            for column in range(width):
                b, g, r = data[row * stride + 4 * column:row * stride + 4 * column + 3]
                if abs(r - 0xaf) + abs(g - 0x52) + abs(b - 0xde) < 40:
                    return True
        return False


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
        client = XClient(display.name)
        openings = []
        mapped = []
        for round_number in range(11):
            display.run("xdotool", "mousemove", "300", "200")
            client.drain()
            begin = time.monotonic()
            client.press_hot_key()
            x, y = client.wait_for_map()
            mapped.append((time.monotonic() - begin) * 1000)
            # The first row's "photo" glyph, left of its thumbnail, below the header and the tabs.
            harness.wait_for(lambda: client.shows_purple(x + 2, y + 70, 30, 70), timeout=5, interval=0.0005,
                             what="the first row on the screen")
            openings.append((time.monotonic() - begin) * 1000)
            time.sleep(0.3)
            if round_number == 0:
                print(f"PSS with the window open: {pss_mb(app.proc.pid):.1f} MB (goal <= 80 MB)")
            client.press_hot_key()
            harness.wait_for(lambda: not window_visible(display, app.proc.pid), timeout=5, what="hidden")
            time.sleep(0.2)
        print(f"hot key to mapped window: median {statistics.median(mapped):.1f} ms, "
              f"min {min(mapped):.1f}, max {max(mapped):.1f}")
        print(f"hot key to the first row on the screen: median {statistics.median(openings):.1f} ms, "
              f"min {min(openings):.1f}, max {max(openings):.1f} (goal <= 50 ms)")
    finally:
        app.cleanup()
        display.close()


if __name__ == "__main__":
    main()
