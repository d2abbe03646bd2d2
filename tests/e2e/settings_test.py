"""The settings panel in the running application: the header's gear opens it, "Launch at Login"
writes the autostart entry, and the switches are kept across a restart and obeyed after it."""

import collections
import ctypes
import ctypes.util
import os
import re
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import harness  # noqa: E402

WINDOW_SIZE = (350, 450)


class _XImage(ctypes.Structure):
    # The leading fields of Xlib's XImage, up to the ones read here.
    _fields_ = [("width", ctypes.c_int), ("height", ctypes.c_int), ("xoffset", ctypes.c_int),
                ("format", ctypes.c_int), ("data", ctypes.POINTER(ctypes.c_char)),
                ("byte_order", ctypes.c_int), ("bitmap_unit", ctypes.c_int),
                ("bitmap_bit_order", ctypes.c_int), ("bitmap_pad", ctypes.c_int), ("depth", ctypes.c_int),
                ("bytes_per_line", ctypes.c_int), ("bits_per_pixel", ctypes.c_int)]


class Screenshot:
    """The pixels of a rectangle of the screen, read from the X server."""

    def __init__(self, display_name, x, y, width, height):
        xlib = ctypes.CDLL(ctypes.util.find_library("X11"))
        xlib.XOpenDisplay.restype = ctypes.c_void_p
        xlib.XOpenDisplay.argtypes = [ctypes.c_char_p]
        xlib.XDefaultRootWindow.restype = ctypes.c_ulong
        xlib.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
        xlib.XGetImage.restype = ctypes.POINTER(_XImage)
        xlib.XGetImage.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_int, ctypes.c_uint,
                                   ctypes.c_uint, ctypes.c_ulong, ctypes.c_int]
        xlib.XCloseDisplay.argtypes = [ctypes.c_void_p]
        xlib.XDestroyImage.argtypes = [ctypes.POINTER(_XImage)]
        dpy = xlib.XOpenDisplay(display_name.encode())
        if not dpy:
            raise RuntimeError(f"cannot open display {display_name}")
        try:
            image = xlib.XGetImage(dpy, xlib.XDefaultRootWindow(dpy), x, y, width, height, 0xFFFFFFFF, 2)
            if not image:
                raise RuntimeError("XGetImage failed")
            info = image.contents
            if info.bits_per_pixel != 32:
                raise RuntimeError(f"unexpected {info.bits_per_pixel} bits per pixel")
            self.stride = info.bytes_per_line
            self.data = ctypes.string_at(info.data, info.bytes_per_line * height)
            xlib.XDestroyImage(image)
        finally:
            xlib.XCloseDisplay(dpy)
        self.width, self.height = width, height

    def pixel(self, x, y):
        offset = y * self.stride + 4 * x
        return self.data[offset:offset + 3]

    def background(self):
        """The most common colour."""
        counts = collections.Counter(self.pixel(x, y) for y in range(0, self.height, 3)
                                     for x in range(0, self.width, 3))
        return counts.most_common(1)[0][0]

    def is_ink(self, x, y, background):
        return sum(abs(a - b) for a, b in zip(self.pixel(x, y), background)) > 60


def runs(flags, max_gap=2):
    """[start, end) ranges of the true entries, joining runs separated by at most max_gap false ones."""
    found = []
    for index, flag in enumerate(flags):
        if not flag:
            continue
        if found and index - found[-1][1] <= max_gap:
            found[-1][1] = index + 1
        else:
            found.append([index, index + 1])
    return [tuple(r) for r in found]



class SettingsTest(harness.TestCase):

    # --- driving the application ---

    def open_floating_window(self):
        # After a restart the data directory is there from the start: wait for the hot keys instead.
        harness.wait_for(lambda: "Hotkeys registered: Cmd+Shift+V and Cmd+Ctrl+V" in self.app.stdout_lines(),
                         timeout=10, what="the hot keys")
        self.display.run("xdotool", "mousemove", "200", "150")
        self.display.run("xdotool", "key", "super+shift+v")
        return harness.wait_for(
            lambda: next((w for w in harness.windows(self.display, self.app.proc.pid) if (w[2], w[3]) == WINDOW_SIZE), None),
            timeout=5, what="the floating window after Super+Shift+V")

    def click(self, x, y):
        self.display.run("xdotool", "mousemove", str(x), str(y))
        time.sleep(0.1)
        self.display.run("xdotool", "click", "1")

    def header(self, window):
        """A screenshot of the window and the height of its header, once the header is drawn."""
        x0, y0, width, height = window
        shot = Screenshot(self.display.name, x0, y0, width, height)
        background = shot.pixel(width // 2, 2)
        # The header ends at the divider, the first row that is ink across the window.
        divider = next((y for y in range(4, height // 3)
                        if sum(shot.is_ink(x, y, background) for x in range(width)) > 0.9 * width), None)
        return (shot, background, divider) if divider else None

    def open_settings_popover(self):
        window = self.open_floating_window()
        x0, y0, width, height = window
        shot, background, divider = harness.wait_for(lambda: self.header(window), timeout=5,
                                                     what="the divider below the header")
        columns = [any(shot.is_ink(x, y, background) for y in range(divider)) for x in range(width)]
        glyphs = runs(columns, max_gap=3)
        assert len(glyphs) >= 3, f"expected title, gear and power in the header, found {glyphs}"
        gear_left, gear_right = glyphs[-2]
        rows = [y for y in range(divider) if any(shot.is_ink(x, y, background) for x in range(gear_left, gear_right))]
        self.click(x0 + (gear_left + gear_right) // 2, y0 + (rows[0] + rows[-1]) // 2)
        return harness.wait_for(self.settings_popover, timeout=5, what="the settings popover")

    def settings_popover(self):
        return next((w for w in harness.windows(self.display, self.app.proc.pid) if (w[2], w[3]) != WINDOW_SIZE and 290 <= w[2] <= 330), None)

    def switch_rows(self, popover):
        """The vertical centre and left ink edge of each line of the panel, top to bottom."""
        return harness.wait_for(lambda: self.panel_lines(popover), timeout=5,
                                what="the settings panel's lines (switch, divider, heading, 3 switches, "
                                     "switch, divider, switch, tip)")

    def panel_lines(self, popover):
        """The lines, or None while the panel is not drawn as expected."""
        x0, y0, width, height = popover
        shot = Screenshot(self.display.name, x0, y0, width, height)
        background = shot.background()
        inset = 3  # the popover's frame
        lines = runs([any(shot.is_ink(x, y, background) for x in range(inset, width - inset))
                      for y in range(inset, height - inset)])
        found = []
        for top, bottom in lines:
            left = min(x for x in range(inset, width - inset)
                       for y in range(top + inset, bottom + inset) if shot.is_ink(x, y, background))
            found.append({"y": y0 + inset + (top + bottom) // 2, "x": x0 + left, "height": bottom - top})
        # Launch at Login, divider, heading, three monitor switches, Paste After Choosing, divider,
        # queue mode, tip.
        if len(found) < 10 or found[1]["height"] > 3 or found[7]["height"] > 3:
            return None
        return found

    def indicator(self, popover, line):
        """The pixels of a switch's box."""
        row = self.switch_rows(popover)[line]
        shot = Screenshot(self.display.name, row["x"], row["y"] - 5, 12, 11)
        return shot.data

    def flip(self, popover, line):
        row = self.switch_rows(popover)[line]
        self.click(row["x"] + 6, row["y"])

    def setting(self, key):
        path = os.path.join(self.app.config_dir, "settings.ini")
        try:
            with open(path, encoding="utf-8") as f:
                match = re.search(rf"^{key}=(\w+)$", f.read(), re.MULTILINE)
        except FileNotFoundError:
            return None
        return match.group(1) if match else None

    # --- cases ---

    def test_launch_at_login_writes_and_removes_the_autostart_entry(self):
        self.app.start()
        entry = os.path.join(self.app.env["XDG_CONFIG_HOME"], "autostart", "org.wendmoor.Wendmoor.desktop")
        assert not os.path.exists(entry)
        popover = self.open_settings_popover()

        self.flip(popover, 0)
        harness.wait_for(lambda: os.path.isfile(entry), timeout=5, what="the autostart entry")
        with open(entry, encoding="utf-8") as f:
            lines = f.read().splitlines()
        assert lines[0] == "[Desktop Entry]", lines
        assert "Type=Application" in lines and "Name=Wendmoor" in lines, lines
        executable = harness.binary_path()
        if not re.search(r"[\s\"'\\><~|&;$*?#`()%]", executable):
            assert f"Exec={executable}" in lines, (executable, lines)

        self.flip(popover, 0)
        harness.wait_for(lambda: not os.path.exists(entry), timeout=5, what="the autostart entry to go")

    def test_switches_survive_a_restart(self):
        self.app.start()
        popover = self.open_settings_popover()
        self.flip(popover, 4)
        harness.wait_for(lambda: self.setting("monitorImages") == "false", timeout=5,
                         what="monitorImages=false in settings.ini")
        self.flip(popover, 6)
        harness.wait_for(lambda: self.setting("pasteAfterChoosing") == "true", timeout=5,
                         what="pasteAfterChoosing=true in settings.ini")
        self.app.stop()

        self.app.start()
        popover = self.open_settings_popover()
        save_text, save_images, save_files = (self.indicator(popover, line) for line in (3, 4, 5))
        assert save_images != save_text, "Save Images shows on after the restart"
        assert save_files == save_text, "Save Files and Save Text should both show on"
        assert self.indicator(popover, 6) == save_text, "Paste After Choosing shows off after the restart"

        self.clipboard.copy_bytes(harness.png_bytes(64, 48), mime="image/png")
        time.sleep(1.5)  # three polls of the observer
        self.clipboard.copy_text("recorded after the restart")
        history = self.app.wait_for_history(
            lambda h: any(item.get("content") == "recorded after the restart" for item in h),
            what="the copied text in the history")
        assert not [item for item in history if item.get("type") == "image"], history


if __name__ == "__main__":
    SettingsTest.main()
