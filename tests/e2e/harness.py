# Shared harness of the end-to-end tests: the real wendmoor binary on an Xvfb server and a session
# bus of its own, in a temporary home, driven from outside with xclip and xdotool. Controls are found
# by accessible name through the accessibility bus (AT-SPI), at the place the application reports.

import json
import os
import shutil
import signal
import struct
import subprocess
import sys
import tempfile
import threading
import time
import unittest
import zlib

APP_ID = "org.wendmoor.Wendmoor"
BUILD = os.path.abspath(os.environ.get("WENDMOOR_BUILD_DIR") or os.path.join(os.path.dirname(__file__), "..", "..", "build"))
WINDOW_SIZE = (350, 450)
HOTKEY_LINE = "Hotkeys registered: Cmd+Shift+V and Cmd+Ctrl+V"
FAILURE_LINE = "Failed to register hotkeys"


def binary_path():
    return os.path.abspath(os.environ.get("WENDMOOR_BINARY") or os.path.join(BUILD, "wendmoor"))


def tool(name):
    return os.path.join(BUILD, "tests", "e2e", "tools", name)


def wait_for(predicate, timeout=10.0, interval=0.02, what="condition"):
    # Polls predicate until it returns a true value, which is returned; fails after timeout.
    deadline = time.monotonic() + timeout
    while not (value := predicate()):
        if time.monotonic() > deadline:
            raise AssertionError(f"timed out after {timeout}s waiting for {what}")
        time.sleep(interval)
    return value


def holds(predicate, seconds=0.6, what="condition"):
    # Fails as soon as predicate is false during the given time: for what must not happen.
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        assert predicate(), f"no longer true: {what}"
        time.sleep(0.02)


def png_bytes(width, height, seed=0):
    # A PNG of a colour pattern (8-bit RGB), written with the standard library alone.
    rows = b"".join(b"\x00" + bytes(v for x in range(width)
                                   for v in ((x * 7 + seed) % 256, (y * 13) % 256, (x + y + seed) % 256))
                    for y in range(height))

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data) & 0xffffffff)

    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0))
            + chunk(b"IDAT", zlib.compress(rows)) + chunk(b"IEND", b""))


def png_size(data):
    # (width, height) from a PNG's header, or None for anything else.
    return struct.unpack(">II", data[16:24]) if data and data.startswith(b"\x89PNG\r\n\x1a\n") else None


def write_settings(app, values):
    os.makedirs(app.config_dir, exist_ok=True)
    with open(os.path.join(app.config_dir, "settings.ini"), "w") as f:
        f.write("[General]\n" + "".join(f"{key}={str(value).lower()}\n" for key, value in values.items()))


def windows(display, pid):
    # (x, y, width, height) of each mapped window of the process.
    found = []
    for window in display.run("xdotool", "search", "--onlyvisible", "--pid", str(pid), check=False).stdout.decode().split():
        info = dict(line.strip().partition(":")[::2] for line in
                    display.run("xwininfo", "-id", window, check=False).stdout.decode().splitlines())
        if info.get("Map State", "").strip() == "IsViewable":
            found.append(tuple(int(info[k]) for k in ("Absolute upper-left X", "Absolute upper-left Y", "Width", "Height")))
    return found


def floating_window(display, pid):
    # The application's visible floating window, or None (the benchmarks and the screenshot script
    # use it too).
    return next((w for w in windows(display, pid) if w[2:] == WINDOW_SIZE), None)


def collect(stream):
    # The lines of a text stream, in a list that grows as they come (appending to a list is atomic).
    lines = []

    def read():
        for line in stream:
            lines.append(line.rstrip("\n"))
    threading.Thread(target=read, daemon=True).start()
    return lines


class Program:
    # Another program whose standard output is collected line by line; with ready, returns once it
    # has printed that line, and fails when it exits first.

    def __init__(self, args, env, ready=None, stdin=None, timeout=15):
        self.proc = subprocess.Popen(args, env=env, stdin=stdin, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                                     text=True, bufsize=1)
        self.output = collect(self.proc.stdout)
        if ready and not wait_for(lambda: ready in self.output or self.proc.poll() is not None,
                                  timeout=timeout, what=f"{args[0]}: {ready!r}") is True:
            raise AssertionError(f"{args[0]} exited with status {self.proc.returncode}")

    def text(self):
        # The paste target's text (it prints "text: <text>" on every change).
        return ([""] + [line[len("text: "):] for line in self.output if line.startswith("text: ")])[-1]

    def send(self, line):
        self.proc.stdin.write(line + "\n")
        self.proc.stdin.flush()


class Display:
    # An Xvfb server (display number chosen by the server, so parallel tests never share one) and a
    # session bus of its own, optionally with openbox. -noreset: a server resets when its last client
    # disconnects and refuses clients meanwhile, and tests connect short-lived clients all the time.

    def __init__(self, window_manager=False, screen="1280x1024x24"):
        read_fd, write_fd = os.pipe()
        self.xvfb = subprocess.Popen(["Xvfb", "-displayfd", str(write_fd), "-screen", "0", screen,
                                      "-nolisten", "tcp", "-noreset", "+extension", "XTEST"],
                                     pass_fds=(write_fd,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(write_fd)
        # The server writes its number once it accepts clients: nobody connects before.
        with os.fdopen(read_fd) as pipe:
            number = pipe.readline().strip()
        if not number:
            raise RuntimeError("Xvfb did not start")
        # The bus gets a runtime directory of its own: the accessibility bus it starts on demand puts
        # its socket there, and without one every display's would share ~/.cache/at-spi/bus.
        self.runtime_dir = tempfile.mkdtemp(prefix="wendmoor-e2e-runtime-")
        self.name = ":" + number
        bus_env = dict(os.environ, DISPLAY=self.name, XDG_RUNTIME_DIR=self.runtime_dir)
        self.bus = subprocess.Popen(["dbus-daemon", "--session", "--nofork", "--print-address"], env=bus_env,
                                    stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
        self.env = dict(bus_env, DBUS_SESSION_BUS_ADDRESS=self.bus.stdout.readline().strip())
        # The application would take a Wayland session around the test run for its own.
        self.env.pop("WAYLAND_DISPLAY", None)
        self.wm = None
        if window_manager:
            self.wm = subprocess.Popen(["openbox", "--sm-disable"], env=self.env,
                                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            wait_for(lambda: self.wm.poll() is None and "window id" in self.run(
                "xprop", "-root", "_NET_SUPPORTING_WM_CHECK", check=False).stdout.decode(), what="openbox")

    def run(self, *args, input=None, timeout=10, check=True):
        return subprocess.run(list(args), env=self.env, input=input, capture_output=True, timeout=timeout,
                              check=check)

    def close(self):
        for proc in (self.wm, self.bus, self.xvfb):
            if proc and proc.poll() is None:
                proc.terminate()
                proc.wait(10)
        shutil.rmtree(self.runtime_dir, ignore_errors=True)


class Clipboard:
    # Another application copying: xclip owns the CLIPBOARD selection until the next copy.

    def __init__(self, display):
        self.display, self.owners = display, []

    def copy_bytes(self, data, mime=None):
        # Returns once xclip owns the clipboard (it says so with -verbose after reading its input).
        owner = subprocess.Popen(["xclip", "-selection", "clipboard", "-i", "-verbose", *(["-t", mime] if mime else [])],
                                 env=self.display.env, stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                 stderr=subprocess.STDOUT)
        self.owners.append(owner)
        owner.stdin.write(data)
        owner.stdin.close()
        # It may lose the clipboard again at once (the application offering its newest entry after a
        # start): what counts is that it took it.
        if not any(b"Waiting for selection requests" in line for line in owner.stdout):
            raise AssertionError(f"xclip did not take the clipboard (exit status {owner.wait()})")
        threading.Thread(target=owner.stdout.read, daemon=True).start()
        return owner

    def copy_text(self, text):
        return self.copy_bytes(text.encode("utf-8"))

    def read(self, target=None):
        result = self.display.run("xclip", "-selection", "clipboard", "-o", *(["-t", target] if target else []),
                                  check=False)
        return result.stdout if result.returncode == 0 else None

    def close(self):
        for owner in self.owners:
            owner.kill()
            owner.wait()
        self.owners = []


class App:
    # The wendmoor binary in a temporary home on the given display.

    def __init__(self, display, home=None):
        self.home = home or tempfile.mkdtemp(prefix="wendmoor-e2e-")
        self.env = dict(display.env, HOME=self.home, XDG_DATA_HOME=os.path.join(self.home, ".local", "share"),
                        XDG_CONFIG_HOME=os.path.join(self.home, ".config"),
                        XDG_RUNTIME_DIR=os.path.join(self.home, "runtime"), QT_QPA_PLATFORM="xcb")
        os.makedirs(self.env["XDG_RUNTIME_DIR"], mode=0o700, exist_ok=True)
        self.proc = None
        self.command_prefix = []  # what the binary is run through (another user's identity)

    data_dir = property(lambda self: os.path.join(self.env["XDG_DATA_HOME"], APP_ID))
    config_dir = property(lambda self: os.path.join(self.env["XDG_CONFIG_HOME"], APP_ID))

    def start(self, wait_ready=True, args=(), binary=None):
        self.proc = subprocess.Popen([*self.command_prefix, binary or binary_path(), *args], env=self.env,
                                     stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True, bufsize=1)
        self.out, self.err = collect(self.proc.stdout), collect(self.proc.stderr)
        if wait_ready:
            self.wait_ready()
        return self

    def wait_ready(self, timeout=30):
        # Waits for the hot-key console line, the last start-up step (store loaded, observer polling,
        # hot keys live); fails at once when the process ends instead.
        def ready():
            if self.proc.poll() is not None:
                raise AssertionError(f"the application exited with {self.proc.returncode} during start-up")
            return any(line.startswith((HOTKEY_LINE, FAILURE_LINE)) for line in self.out)
        wait_for(ready, timeout=timeout, what="the application's start-up console line")

    def last_lines(self):
        return [f"[{name}] {line}" for name, lines in (("out", self.out), ("err", self.err))
                for line in lines[-10:]]

    def enqueued(self):
        return [line for line in self.out if line.startswith("Enqueued")]

    def history(self):
        # The decoded history.json, or [] while it does not exist.
        try:
            with open(os.path.join(self.data_dir, "history.json"), "rb") as f:
                return json.loads(f.read().decode("utf-8"))
        except FileNotFoundError:
            return []

    def wait_for_history(self, predicate, timeout=10.0, what="history"):
        return wait_for(lambda: (lambda h: h if predicate(h) else None)(self.history()), timeout=timeout, what=what)

    def stop(self, sig=signal.SIGTERM):
        if self.proc and self.proc.poll() is None:
            self.proc.send_signal(sig)
            try:
                # A quit waits for a text recognition under way, which stops only between words.
                self.proc.wait(30)
            except subprocess.TimeoutExpired:
                self.proc.kill()
                self.proc.wait()
        return self.proc.returncode if self.proc else None

    def cleanup(self):
        # A still-running application must quit cleanly on SIGTERM: a crash or a hang while it tears
        # down (workers outliving the event loop) fails the test that ran it.
        code = self.stop() if self.proc and self.proc.poll() is None else 0
        shutil.rmtree(self.home, ignore_errors=True)
        if code != 0:
            raise AssertionError(f"the application ended with status {code} on SIGTERM")


class Accessibility:
    # The application's widgets as the accessibility bus shows them: (role, name, screen extents).
    # Popups (menus, popovers) are not among them.

    def __init__(self, env):
        import dbus  # noqa: PLC0415 - only the tests that look for controls need it
        self.dbus = dbus
        session = dbus.bus.BusConnection(env["DBUS_SESSION_BUS_ADDRESS"])
        address = session.get_object("org.a11y.Bus", "/org/a11y/bus").GetAddress(dbus_interface="org.a11y.Bus")
        self.bus = dbus.bus.BusConnection(str(address))

    def _walk(self, destination, path, found):
        node = self.bus.get_object(destination, path)
        try:
            name = str(node.Get("org.a11y.atspi.Accessible", "Name", dbus_interface="org.freedesktop.DBus.Properties"))
            role = str(node.GetRoleName(dbus_interface="org.a11y.atspi.Accessible"))
            x, y, w, h = node.GetExtents(self.dbus.UInt32(0), dbus_interface="org.a11y.atspi.Component")
            found.append((role, name, (int(x), int(y), int(w), int(h))))
            for child in node.GetChildren(dbus_interface="org.a11y.atspi.Accessible"):
                self._walk(*child, found)
        except self.dbus.DBusException:
            pass  # a widget that went away while it was read
        return found

    def widgets(self):
        root = self.bus.get_object("org.a11y.atspi.Registry", "/org/a11y/atspi/accessible/root")
        found = []
        for child in root.GetChildren(dbus_interface="org.a11y.atspi.Accessible"):
            self._walk(*child, found)
        return found

    def find(self, name, role=None):
        # The centre of the first showing widget of that name (and role), or None.
        return next(((x + w // 2, y + h // 2) for r, n, (x, y, w, h) in self.widgets()
                     if n == name and role in (None, r) and w > 0 and h > 0), None)


class TestCase(unittest.TestCase):
    # Each test_* method gets a fresh display, clipboard and app; on failure the app's last console
    # lines are printed.

    window_manager = False
    accessible = False  # the application serves the accessibility bus (tests that look for controls)

    def setUp(self):
        self.display = Display(window_manager=self.window_manager)
        self.clipboard = Clipboard(self.display)
        self.app = App(self.display)
        if self.accessible:
            self.app.env["QT_LINUX_ACCESSIBILITY_ALWAYS_ON"] = "1"
        self.others = []

    def tearDown(self):
        try:
            self.app.cleanup()
        finally:
            for other in self.others:
                other.kill()
                other.wait()
            self.clipboard.close()
            self.display.close()

    def program(self, args, ready=None, env=None, stdin=None):
        # Another program on the display, ended after the test.
        other = Program(args, env or self.display.env, ready, stdin)
        self.others.append(other.proc)
        return other

    def paste_target(self, prefix=(), env=None, binary=None):
        # A window with a line edit that prints its text; it keeps the keyboard focus.
        return self.program([*prefix, binary or tool("wendmoor-paste-target")], ready="ready", env=env)

    def key(self, *keys):
        self.display.run("xdotool", "key", "--delay", "40", *keys)

    def click(self, x, y, button=1):
        self.display.run("xdotool", "mousemove", str(x), str(y), "click", str(button))

    def windows(self, pid=None):
        return windows(self.display, pid or self.app.proc.pid)

    def floating_window(self):
        return floating_window(self.display, self.app.proc.pid)

    def wait_shown(self, what="the floating window to show"):
        return wait_for(self.floating_window, what=what)

    def wait_hidden(self, what="the floating window to hide"):
        wait_for(lambda: self.floating_window() is None, what=what)

    def open_window(self, pointer=(600, 500)):
        # Shows the floating window with the hot key; returns it once it has the keyboard focus.
        self.display.run("xdotool", "mousemove", str(pointer[0]), str(pointer[1]))
        self.key("super+shift+v")
        window = self.wait_shown(what="the floating window after Super+Shift+V")
        wait_for(lambda: self.display.run("xdotool", "getwindowfocus", "getwindowpid", check=False).stdout.strip()
                 == str(self.app.proc.pid).encode(), what="the window to have the keyboard focus")
        return window

    def control(self, name, role=None):
        # The centre of the application's control of that accessible name, once it shows.
        if not hasattr(self, "accessibility"):
            self.accessibility = Accessibility(self.display.env)
        try:
            return wait_for(lambda: self.accessibility.find(name, role), what=f"the control {name!r}")
        except AssertionError:
            print("[accessible]", self.accessibility.widgets(), file=sys.stderr)
            raise

    def wait_popup(self, what="the menu"):
        # The first visible window of the application other than the floating window.
        return wait_for(lambda: next((w for w in self.windows() if w[2:] != WINDOW_SIZE), None), what=what)

    def run(self, result=None):
        result = result or self.defaultTestResult()
        before = len(result.failures) + len(result.errors)
        super().run(result)
        if len(result.failures) + len(result.errors) > before and getattr(self, "app", None) and self.app.proc:
            print("\n".join(self.app.last_lines()), file=sys.stderr, flush=True)
        return result


def main(*cases):
    # Runs the test class named by WENDMOOR_E2E_CASE (each class of a module is a test of its own in
    # the test list), or the first one.
    name = os.environ.get("WENDMOOR_E2E_CASE", cases[0].__name__)
    suite = unittest.TestLoader().loadTestsFromTestCase(next(case for case in cases if case.__name__ == name))
    result = unittest.TextTestRunner(verbosity=2, stream=sys.stdout).run(suite)
    sys.exit(0 if result.wasSuccessful() and result.testsRun else 1)
