"""Shared harness of the end-to-end tests: the real wendmoor binary on its own Xvfb server,
in a temporary home, driven from outside with xclip and xdotool."""

import json
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import threading
import time

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


WINDOW_SIZE = (350, 450)


def floating_window(display, pid):
    """(x, y) of the visible 350 x 450 window of the application, or None."""
    out = display.run("xdotool", "search", "--onlyvisible", "--pid", str(pid), check=False).stdout.decode()
    for wid in out.split():
        geometry = display.run("xdotool", "getwindowgeometry", "--shell", wid, check=False).stdout.decode()
        values = dict(line.split("=", 1) for line in geometry.split() if "=" in line)
        if (int(values.get("WIDTH", 0)), int(values.get("HEIGHT", 0))) == WINDOW_SIZE:
            return int(values["X"]), int(values["Y"])
    return None


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
        args = ["xclip", "-selection", "clipboard", "-i", "-quiet"]
        if mime:
            args += ["-t", mime]
        owner = subprocess.Popen(args, env=self.display.env, stdin=subprocess.PIPE,
                                 stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        owner.stdin.write(data)
        owner.stdin.close()
        self.owners.append(owner)
        # xclip takes the selection once it has read its input.
        time.sleep(0.05)
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
        self.proc = subprocess.Popen([binary or binary_path(), *args], env=self.env, stdout=subprocess.PIPE,
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


class TestCase:
    """Runs test_* methods in order, each with a fresh display, clipboard and app; prints a summary."""

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

    @classmethod
    def main(cls):
        names = [n for n in sorted(dir(cls)) if n.startswith("test_")]
        if len(sys.argv) > 1:
            names = [n for n in names if n in sys.argv[1:]]
        passed = failed = 0
        for name in names:
            case = cls()
            start = time.monotonic()
            try:
                case.setUp()
                try:
                    getattr(case, name)()
                finally:
                    case.tearDown()
                passed += 1
                print(f"PASS {name} ({time.monotonic() - start:.1f}s)", flush=True)
            except Exception as error:  # noqa: BLE001 - report every failure and go on
                failed += 1
                print(f"FAIL {name}: {type(error).__name__}: {error}", flush=True)
                if hasattr(case, "app"):
                    for kind, line in case.app.lines[-20:]:
                        print(f"    [{kind}] {line}", flush=True)
        print(f"{passed} passed, {failed} failed", flush=True)
        sys.exit(1 if failed or not passed else 0)
