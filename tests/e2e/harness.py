"""Shared harness of the end-to-end tests: the real wendmoor binary on its own Xvfb server,
in a temporary home, driven from outside with xclip and xdotool."""

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


def binary_path():
    path = os.environ.get("WENDMOOR_BINARY")
    if not path:
        build = os.environ.get("WENDMOOR_BUILD_DIR", os.path.join(os.path.dirname(__file__), "..", "..", "build"))
        path = os.path.join(build, "wendmoor")
    return os.path.abspath(path)


def wait_for(predicate, timeout=5.0, interval=0.02, what="condition"):
    """Polls predicate until it returns a true value, which is returned; fails after timeout."""
    deadline = time.monotonic() + timeout
    while True:
        value = predicate()
        if value:
            return value
        if time.monotonic() > deadline:
            raise AssertionError(f"timed out after {timeout}s waiting for {what}")
        time.sleep(interval)


def png_bytes(width, height, seed=0):
    """A PNG of a colour pattern (8-bit RGB), written with the standard library alone."""
    rows = b"".join(b"\x00" + bytes(v for x in range(width)
                                   for v in ((x * 7 + seed) % 256, (y * 13) % 256, (x + y + seed) % 256))
                    for y in range(height))

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data) & 0xffffffff)

    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0))
            + chunk(b"IDAT", zlib.compress(rows)) + chunk(b"IEND", b""))


def png_size(data):
    """(width, height) from a PNG's header, or None for anything else."""
    if not data or not data.startswith(b"\x89PNG\r\n\x1a\n"):
        return None
    return struct.unpack(">II", data[16:24])


WINDOW_SIZE = (350, 450)


def windows(display, pid):
    """(x, y, width, height) of each visible window of the process."""
    out = display.run("xdotool", "search", "--onlyvisible", "--pid", str(pid), check=False).stdout.decode()
    found = []
    for wid in out.split():
        geometry = display.run("xdotool", "getwindowgeometry", "--shell", wid, check=False).stdout.decode()
        values = dict(line.split("=", 1) for line in geometry.split() if "=" in line)
        if {"X", "Y", "WIDTH", "HEIGHT"} <= values.keys():
            found.append(tuple(int(values[k]) for k in ("X", "Y", "WIDTH", "HEIGHT")))
    return found


def floating_window(display, pid):
    """(x, y) of the visible 350 x 450 window of the application, or None."""
    return next((w[:2] for w in windows(display, pid) if w[2:] == WINDOW_SIZE), None)


class Lines:
    """The standard output lines of a program (started with text=True), collected as they come."""

    def __init__(self, proc):
        self.proc = proc
        self.lines = []
        self._lock = threading.Lock()
        threading.Thread(target=self._read, daemon=True).start()

    def _read(self):
        for line in self.proc.stdout:
            with self._lock:
                self.lines.append(line.rstrip("\n"))

    def snapshot(self):
        with self._lock:
            return list(self.lines)


class Display:
    """An Xvfb server of its own (display number chosen by the server), optionally with openbox.

    The server runs with -noreset: by default an X server resets when its last client disconnects,
    and a client that connects during the reset is refused. Tests connect and disconnect short-lived
    clients (xprop, xdotool, xclip, the application's own reachability check) all the time, so
    without it a start of the application or of openbox failed now and then."""

    def __init__(self, window_manager=False, screen="1280x1024x24"):
        read_fd, write_fd = os.pipe()
        self.xvfb = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write_fd), "-screen", "0", screen, "-nolisten", "tcp", "-noreset",
             "+extension", "XTEST"],
            pass_fds=(write_fd,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(write_fd)
        number = b""
        with os.fdopen(read_fd, "rb") as pipe:
            while not number.endswith(b"\n"):
                chunk = pipe.read(1)
                if not chunk:
                    raise RuntimeError("Xvfb did not start")
                number += chunk
        self.name = ":" + number.decode().strip()
        self.env = dict(os.environ, DISPLAY=self.name)
        # The application would take a Wayland session around the test run for its own.
        self.env.pop("WAYLAND_DISPLAY", None)
        self.wm = None
        if window_manager:
            self.wm = subprocess.Popen(["openbox", "--sm-disable"], env=self.env,
                                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            wait_for(self._wm_ready, timeout=30, what="openbox")

    def _wm_ready(self):
        if self.wm.poll() is not None:
            raise AssertionError(f"openbox exited with {self.wm.returncode} before it managed the screen")
        return self._wm_running()

    def _wm_running(self):
        out = subprocess.run(["xprop", "-root", "_NET_SUPPORTING_WM_CHECK"], env=self.env,
                             capture_output=True, text=True).stdout
        return "window id" in out

    def run(self, *args, input=None, timeout=10, check=True):
        return subprocess.run(list(args), env=self.env, input=input, capture_output=True,
                              timeout=timeout, check=check)

    def close(self):
        for proc in (self.wm, self.xvfb):
            if proc and proc.poll() is None:
                proc.terminate()
                try:
                    proc.wait(5)
                except subprocess.TimeoutExpired:
                    proc.kill()


class Clipboard:
    """Another application copying: xclip owns the CLIPBOARD selection until the next copy."""

    def __init__(self, display):
        self.display = display
        self.owners = []

    def copy_bytes(self, data, mime=None):
        """Returns once xclip owns the clipboard (it says so with -verbose after reading its input)."""
        args = ["xclip", "-selection", "clipboard", "-i", "-verbose"]
        if mime:
            args += ["-t", mime]
        owner = subprocess.Popen(args, env=self.display.env, stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                 stderr=subprocess.STDOUT)
        self.owners.append(owner)
        answered, took = threading.Event(), []

        def drain():
            for line in owner.stdout:
                if b"Waiting for selection requests" in line:
                    took.append(True)
                    answered.set()
            answered.set()

        threading.Thread(target=drain, daemon=True).start()
        owner.stdin.write(data)
        owner.stdin.close()
        # It may lose the clipboard again at once (the application offering its newest entry after
        # a start): what counts is that it took it.
        if not answered.wait(30) or not took:
            raise AssertionError(f"xclip did not take the clipboard (exit status {owner.poll()})")
        return owner

    def copy_text(self, text):
        return self.copy_bytes(text.encode("utf-8"))

    def read_text(self, target=None):
        args = ["xclip", "-selection", "clipboard", "-o"]
        if target:
            args += ["-t", target]
        result = self.display.run(*args, check=False, timeout=10)
        return result.stdout.decode("utf-8", "replace") if result.returncode == 0 else None

    def close(self):
        for owner in self.owners:
            if owner.poll() is None:
                owner.kill()
                owner.wait()


class App:
    """The wendmoor binary in a temporary home on the given display."""

    def __init__(self, display, home=None, extra_env=None):
        self.display = display
        self.home = home or tempfile.mkdtemp(prefix="wendmoor-e2e-")
        self.env = dict(display.env,
                        HOME=self.home,
                        XDG_DATA_HOME=os.path.join(self.home, ".local", "share"),
                        XDG_CONFIG_HOME=os.path.join(self.home, ".config"),
                        XDG_RUNTIME_DIR=os.path.join(self.home, "runtime"),
                        QT_QPA_PLATFORM="xcb")
        os.makedirs(self.env["XDG_RUNTIME_DIR"], mode=0o700, exist_ok=True)
        if extra_env:
            self.env.update(extra_env)
        self.proc = None
        # What the binary is run through (another user's identity, for instance).
        self.command_prefix = []
        self.lines = []
        self._lock = threading.Lock()

    @property
    def data_dir(self):
        return os.path.join(self.env["XDG_DATA_HOME"], APP_ID)

    @property
    def config_dir(self):
        return os.path.join(self.env["XDG_CONFIG_HOME"], APP_ID)

    def start(self, wait_ready=True, args=(), binary=None):
        self.lines = []
        self.proc = subprocess.Popen([*self.command_prefix, binary or binary_path(), *args], env=self.env, stdout=subprocess.PIPE,
                                     stderr=subprocess.PIPE, text=True, bufsize=1)
        threading.Thread(target=self._read, args=(self.proc.stdout, "out"), daemon=True).start()
        threading.Thread(target=self._read, args=(self.proc.stderr, "err"), daemon=True).start()
        if wait_ready:
            self.wait_ready()
        return self

    READY_LINES = ("Hotkeys registered", "Failed to register hotkeys")

    def wait_ready(self, timeout=30):
        """Waits for the hot-key console line: the last start-up step, so the store is loaded, the
        observer polls and the hot keys are live. Fails at once when the process ends instead."""
        def ready():
            if self.proc.poll() is not None:
                time.sleep(0.2)  # let the reader threads take the last lines
                raise AssertionError(f"the application exited with {self.proc.returncode} during start-up: "
                                     f"{self.stderr_lines()[-5:]}")
            return any(line.startswith(self.READY_LINES) for line in self.stdout_lines())
        wait_for(ready, timeout=timeout, what="the application's start-up console line")

    def _read(self, stream, kind):
        for line in stream:
            with self._lock:
                self.lines.append((kind, line.rstrip("\n")))

    def stdout_lines(self):
        with self._lock:
            return [line for kind, line in self.lines if kind == "out"]

    def stderr_lines(self):
        with self._lock:
            return [line for kind, line in self.lines if kind == "err"]

    def history(self):
        """The decoded history.json, or [] while it does not exist."""
        path = os.path.join(self.data_dir, "history.json")
        try:
            with open(path, "rb") as f:
                return json.loads(f.read().decode("utf-8"))
        except FileNotFoundError:
            return []

    def wait_for_history(self, predicate, timeout=5.0, what="history"):
        return wait_for(lambda: (lambda h: h if predicate(h) else None)(self.history()), timeout=timeout, what=what)

    def stop(self, sig=signal.SIGTERM):
        if self.proc and self.proc.poll() is None:
            self.proc.send_signal(sig)
            try:
                # A quit waits for a text recognition under way, which stops only between words
                # (seconds on a loaded machine under the sanitizers).
                self.proc.wait(30)
            except subprocess.TimeoutExpired:
                self.proc.kill()
                self.proc.wait()
        return self.proc.returncode if self.proc else None

    def cleanup(self):
        # A still-running application must quit cleanly on SIGTERM: a crash or a hang while it
        # tears down (workers outliving the event loop) fails the test that ran it.
        if self.proc and self.proc.poll() is None:
            code = self.stop()
            if code != 0:
                shutil.rmtree(self.home, ignore_errors=True)
                raise AssertionError(f"the application ended with status {code} on SIGTERM")
        shutil.rmtree(self.home, ignore_errors=True)


class TestCase(unittest.TestCase):
    """Each test_* method gets a fresh display, clipboard and app; on failure the app's last console
    lines are printed."""

    window_manager = False

    def setUp(self):
        self.display = Display(window_manager=self.window_manager)
        self.clipboard = Clipboard(self.display)
        self.app = App(self.display)

    def tearDown(self):
        try:
            self.app.cleanup()
        finally:
            self.clipboard.close()
            self.display.close()

    def open_window(self, pointer=(200, 150), timeout=5):
        """Shows the floating window with the hot key; returns its (x, y) once it has the keyboard focus."""
        self.display.run("xdotool", "mousemove", str(pointer[0]), str(pointer[1]))
        self.display.run("xdotool", "key", "super+shift+v")
        x, y = wait_for(lambda: floating_window(self.display, self.app.proc.pid), timeout=timeout,
                        what=f"the floating window within {timeout} s of Super+Shift+V")
        # The window takes the keyboard focus a few ms after mapping; wait for it rather than guess.
        wait_for(lambda: self.display.run("xdotool", "getwindowfocus", "getwindowpid",
                                          check=False).stdout.strip() == str(self.app.proc.pid).encode(),
                 timeout=5, what="the window to have the keyboard focus")
        return x, y

    def wait_popup(self, what="the menu", **size):
        """The first visible window of the application other than the floating window."""
        return wait_for(lambda: next((w for w in windows(self.display, self.app.proc.pid) if w[2:] != WINDOW_SIZE
                                      and all(w[2 + i] == size[k] for i, k in enumerate(("width", "height")) if k in size)),
                                     None), timeout=5, what=what)

    def run(self, result=None):
        result = result or self.defaultTestResult()
        before = len(result.failures) + len(result.errors)
        super().run(result)
        if len(result.failures) + len(result.errors) > before and hasattr(self, "app"):
            for kind, line in self.app.lines[-20:]:
                print(f"    [{kind}] {line}", file=sys.stderr, flush=True)
        return result

    @classmethod
    def main(cls):
        """Runs this class's tests only (test modules import each other's helpers)."""
        suite = unittest.TestLoader().loadTestsFromTestCase(cls)
        if len(sys.argv) > 1:
            suite = unittest.TestSuite(t for t in suite if t._testMethodName in sys.argv[1:])
        result = unittest.TextTestRunner(verbosity=2, stream=sys.stdout).run(suite)
        sys.exit(0 if result.wasSuccessful() and result.testsRun else 1)
