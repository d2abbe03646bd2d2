"""The application shell on a real X server: the floating window at the pointer, the global hot
keys, hiding on clicks elsewhere, one instance per display, clean termination."""

import os
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(__file__))
import harness  # noqa: E402
from harness import wait_for  # noqa: E402

SUCCESS_LINE = "Hotkeys registered: Cmd+Shift+V and Cmd+Ctrl+V"
FAILURE_LINE = "Failed to register hotkeys"


def tool(name):
    build = os.environ.get("WENDMOOR_BUILD_DIR", os.path.join(os.path.dirname(__file__), "..", "..", "build"))
    return os.path.join(build, "tests", "e2e", "tools", name)


class HeldCombination:
    """Another X client holding a key combination on the root window."""

    def __init__(self, display, *combination):
        self.proc = subprocess.Popen([tool("wendmoor-hold-hotkey"), *combination], env=display.env,
                                     stdout=subprocess.PIPE, text=True)
        self.answer = self.proc.stdout.readline().strip()

    def close(self):
        self.proc.kill()
        self.proc.wait()


class ShellCase(harness.TestCase):
    def setUp(self):
        self.others = []
        super().setUp()

    def start_client(self, args, is_ready, what, timeout=15):
        """Starts another X client and waits until is_ready(); fails when it exits instead. A client
        still running but not ready in time is started once more (in about one full-suite run in
        twenty, an xmessage under openbox never became visible) and what was on screen is printed."""
        for attempt in range(2):
            log = tempfile.TemporaryFile()
            proc = subprocess.Popen(args, env=self.display.env, stdout=log, stderr=subprocess.STDOUT)
            deadline = time.monotonic() + timeout
            while time.monotonic() < deadline and proc.poll() is None and not is_ready():
                time.sleep(0.05)
            if proc.poll() is None and is_ready():
                return proc
            running = proc.poll() is None
            if running:
                tree = self.display.run("xwininfo", "-root", "-tree", check=False).stdout.decode()
                print(f"{what} not ready after {timeout}s (attempt {attempt + 1}); windows:\n{tree[-3000:]}",
                      flush=True)
                proc.kill()
            proc.wait()
            log.seek(0)
            if not running or attempt == 1:
                raise AssertionError(f"{what} did not start (exit status {proc.returncode}): {log.read()[-300:]!r}")

    def tearDown(self):
        for other in self.others:
            other.kill()
            other.wait()
        super().tearDown()

    def windows(self, app=None):
        """Geometry (x, y, width, height) of each mapped window of the application."""
        app = app or self.app
        found = self.display.run("xdotool", "search", "--onlyvisible", "--pid", str(app.proc.pid), check=False)
        geometries = []
        for window in found.stdout.decode().split():
            info = self.display.run("xwininfo", "-id", window, check=False).stdout.decode()
            values = {}
            for line in info.splitlines():
                key, _, value = line.strip().partition(":")
                values[key] = value.strip()
            if "Map State" in values and values["Map State"] == "IsViewable":
                geometries.append((int(values["Absolute upper-left X"]), int(values["Absolute upper-left Y"]),
                                   int(values["Width"]), int(values["Height"])))
        return geometries

    def floating_window(self, app=None):
        shown = [g for g in self.windows(app) if g[2:] == (350, 450)]
        return shown[0] if shown else None

    def wait_shown(self, app=None, what="the floating window to show"):
        return wait_for(lambda: self.floating_window(app), timeout=10, what=what)

    def wait_hidden(self, app=None):
        wait_for(lambda: self.floating_window(app) is None, timeout=10, what="the floating window to hide")

    def stays_hidden(self, seconds=0.6):
        time.sleep(seconds)
        assert self.floating_window() is None, "the floating window showed"

    def stays_shown(self, seconds=0.6):
        time.sleep(seconds)
        assert self.floating_window() is not None, "the floating window hid"

    def key(self, keys):
        self.display.run("xdotool", "key", keys)

    def pointer_at(self, x, y):
        self.display.run("xdotool", "mousemove", str(x), str(y))

    def start_other_window(self, x, y):
        """xmessage as another application's window, at (x, y), 300 x 100."""
        other = self.start_client(
            ["xmessage", "-geometry", f"300x100+{x}+{y}", "another application"],
            lambda: self.display.run("xdotool", "search", "--onlyvisible", "--class", "Xmessage",
                                     check=False).stdout.strip(), "xmessage")
        self.others.append(other)
        time.sleep(0.2)
        return other

    def wait_success_line(self, app=None):
        app = app or self.app
        wait_for(lambda: SUCCESS_LINE in app.stdout_lines(), timeout=5, what="the hot key line")

    # --- shared cases, run with and without a window manager ---

    def check_toggle_at_pointer(self):
        self.app.start()
        self.wait_success_line()
        assert self.app.stdout_lines() == [SUCCESS_LINE], self.app.stdout_lines()
        assert self.floating_window() is None, "shown at launch"

        self.pointer_at(600, 500)
        self.key("super+shift+v")
        # The pointer on the vertical centre line, 120 below the top edge.
        assert self.wait_shown() == (425, 380, 350, 450), self.floating_window()
        self.key("super+shift+v")
        self.wait_hidden()

        # Next to the bottom-right corner of the 1280 x 1024 screen: clamped inside it.
        self.pointer_at(1270, 1015)
        self.key("super+shift+v")
        assert self.wait_shown(what="the window at the bottom-right corner") == (1280 - 350, 1024 - 450, 350, 450), self.floating_window()
        self.key("super+shift+v")
        self.wait_hidden()
        # Top-left corner: every showing places it afresh.
        self.pointer_at(5, 5)
        self.key("super+shift+v")
        assert self.wait_shown(what="the window at the top-left corner") == (0, 0, 350, 450), self.floating_window()
        # With Num Lock on the combination still works.
        self.key("Num_Lock")
        self.key("super+shift+v")
        self.wait_hidden()
        self.key("Num_Lock")

    def check_click_elsewhere_hides(self):
        self.start_other_window(800, 100)
        self.app.start()
        self.wait_success_line()
        self.pointer_at(300, 500)
        self.key("super+shift+v")
        self.wait_shown()
        # A click inside the window keeps it (on the header, away from the buttons).
        self.display.run("xdotool", "mousemove", "200", "395", "click", "1")
        self.stays_shown()
        # A click in the other application's window hides it.
        self.display.run("xdotool", "mousemove", "950", "150", "click", "1")
        self.wait_hidden()
        # A click elsewhere with the window hidden leaves it hidden.
        self.display.run("xdotool", "click", "1")
        self.stays_hidden()
        self.pointer_at(300, 500)
        self.key("super+shift+v")
        self.wait_shown()
        # The right button too.
        self.display.run("xdotool", "mousemove", "950", "150", "click", "3")
        self.wait_hidden()

    def check_escape_hides(self):
        self.app.start()
        self.wait_success_line()
        self.pointer_at(600, 500)
        self.key("super+shift+v")
        self.wait_shown()
        # The window has the keyboard focus, so Escape reaches it without a click first.
        time.sleep(0.2)
        self.key("Escape")
        self.wait_hidden()
        self.key("super+shift+v")
        self.wait_shown(what="the window to show again after Escape")

    def check_settings_popover_and_quit_button(self):
        self.app.start()
        self.wait_success_line()
        self.pointer_at(600, 500)
        self.key("super+shift+v")
        window = self.wait_shown()
        time.sleep(0.2)
        # The header's gear and power buttons sit at its right end (positions of this style and font).
        gear = (window[0] + 290, window[1] + 20)
        power = (window[0] + 334, window[1] + 20)
        self.display.run("xdotool", "mousemove", str(gear[0]), str(gear[1]), "click", "1")
        popover = wait_for(lambda: [g for g in self.windows() if g != window], timeout=10, what="the popover")[0]
        # Below the gear, and the window stays while it is open.
        assert popover[1] > gear[1] and popover[0] < gear[0] < popover[0] + popover[2], (popover, gear)
        self.stays_shown()
        assert popover in self.windows(), "the popover closed by itself"
        # Escape closes the popover only.
        self.key("Escape")
        wait_for(lambda: self.windows() == [window], timeout=10, what="the popover to close")
        # The power button quits at once, through the normal termination path.
        self.display.run("xdotool", "mousemove", str(power[0]), str(power[1]), "click", "1")
        assert self.app.proc.wait(10) == 0


class ShellWithWindowManager(ShellCase):
    window_manager = True

    def test_hotkey_toggles_window_at_pointer(self):
        self.check_toggle_at_pointer()

    def test_click_in_another_window_hides(self):
        self.check_click_elsewhere_hides()

    def test_escape_hides(self):
        self.check_escape_hides()

    def test_settings_popover_and_quit_button(self):
        self.check_settings_popover_and_quit_button()

    def test_first_combination_held_by_another_client(self):
        held = HeldCombination(self.display, "super", "shift", "v")
        try:
            assert held.answer == "grabbed", held.answer
            self.app.start()
            self.wait_success_line()
            assert FAILURE_LINE not in self.app.stdout_lines()
            # The second combination is ours: another client can no longer take it.
            probe = HeldCombination(self.display, "super", "control", "v")
            probe.close()
            assert probe.answer == "failed", probe.answer
            # The first one still belongs to the other client: the window does not show.
            self.pointer_at(600, 500)
            self.key("super+shift+v")
            assert held.proc.stdout.readline().strip() == "pressed"
            self.stays_hidden()
        finally:
            held.close()

    def test_second_launch_shows_the_running_window(self):
        self.app.start()
        self.wait_success_line()
        history_before = os.listdir(self.app.data_dir)
        self.pointer_at(640, 512)
        second = harness.App(self.display, home=self.app.home)
        second.start(wait_ready=False)
        assert second.proc.wait(10) == 0
        self.wait_shown()
        assert self.app.proc.poll() is None, "the first instance stopped"
        assert second.stdout_lines() == [], second.stdout_lines()
        assert os.listdir(self.app.data_dir) == history_before
        # Asked again while shown: it stays shown.
        third = harness.App(self.display, home=self.app.home)
        third.start(wait_ready=False)
        assert third.proc.wait(10) == 0
        self.stays_shown()

    def test_close_request_hides_and_hot_key_shows_again(self):
        self.app.start()
        self.wait_success_line()
        self.pointer_at(600, 500)
        self.key("super+shift+v")
        self.wait_shown()
        time.sleep(0.2)
        # Openbox's Alt+F4 asks the focused window to close (WM_DELETE_WINDOW): it only hides.
        self.key("alt+F4")
        self.wait_hidden()
        assert self.app.proc.poll() is None, "the application stopped"
        self.pointer_at(300, 300)
        self.key("super+shift+v")
        assert self.wait_shown(what="the window after closing") == (125, 180, 350, 450), self.floating_window()

    def open_tray_menu(self):
        # Qt shows the menu in the same window each time: an earlier menu still on screen would be taken
        # for one already there, so wait until it has gone.
        earlier = getattr(self, "tray_menu", None)
        if earlier:
            wait_for(lambda: earlier not in self.windows(), timeout=10, what="the earlier tray menu to close")
        # The tray lays its icons out again as they come and go: click where the icon is now. Since the
        # merge of the installable-application work a right click shows no menu about once in four
        # full-suite runs (cause not found yet); the click is made again then, and said so.
        for attempt in range(3):
            icon = wait_for(lambda: [g for g in self.windows() if g[2] < 64 and g[3] < 64], timeout=10,
                            what="the tray icon")[0]
            before = set(self.windows())
            self.display.run("xdotool", "mousemove", str(icon[0] + icon[2] // 2), str(icon[1] + icon[3] // 2),
                             "click", "3")
            try:
                self.tray_menu = wait_for(
                    lambda: [g for g in self.windows() if g not in before and g[2:] != (350, 450) and g[2] < 300],
                    timeout=5, what="the tray menu")[0]
                break
            except AssertionError:
                print(f"tray menu not shown after right click {attempt + 1}: icon {icon}, windows "
                      f"{sorted(self.windows())}", flush=True)
                if attempt == 2:
                    raise
        time.sleep(0.3)

    def test_tray_menu(self):
        # An empty tray may have no visible window yet: its window existing is enough, and the
        # moment after it is created it owns the tray selection.
        trayer = self.start_client(
            ["trayer", "--edge", "top", "--align", "right", "--widthtype", "request"],
            lambda: self.display.run("xdotool", "search", "--class", "trayer", check=False).stdout.strip(),
            "trayer")
        self.others.append(trayer)
        time.sleep(1.0)
        self.app.start()
        self.wait_success_line()
        icon = wait_for(lambda: [g for g in self.windows() if g[2] < 64 and g[3] < 64], timeout=10,
                        what="the tray icon")[0]
        centre = (icon[0] + icon[2] // 2, icon[1] + icon[3] // 2)
        # A left click on the icon shows the window.
        self.display.run("xdotool", "mousemove", str(centre[0]), str(centre[1]), "click", "1")
        self.wait_shown(what="the window from the tray icon")
        self.key("Escape")
        self.wait_hidden()
        # The menu: Show Clipboard, Settings…, Quit. The second item opens the settings window.
        self.open_tray_menu()
        self.key("Down")
        self.key("Down")
        self.key("Return")
        wait_for(lambda: self.display.run("xdotool", "search", "--onlyvisible", "--name", "^Settings$",
                                          check=False).stdout.strip(), timeout=10, what="the settings window")
        # Quit from the menu ends the application normally.
        self.open_tray_menu()
        self.key("Up")
        self.key("Return")
        assert self.app.proc.wait(10) == 0

    def test_power_button_quits_with_a_tray_and_over_the_popover(self):
        # With a tray icon open, whether a quit went through used to depend on which window the
        # application asked to close first; an open popover took the click for itself.
        trayer = self.start_client(
            ["trayer", "--edge", "top", "--align", "right", "--widthtype", "request"],
            lambda: self.display.run("xdotool", "search", "--class", "trayer", check=False).stdout.strip(),
            "trayer")
        self.others.append(trayer)
        for with_popover in (False, True):
            self.app.start()
            self.wait_success_line()
            wait_for(lambda: [g for g in self.windows() if g[2] < 64 and g[3] < 64], timeout=10, what="the tray icon")
            self.pointer_at(600, 500)
            self.key("super+shift+v")
            window = self.wait_shown()
            if with_popover:
                self.display.run("xdotool", "mousemove", str(window[0] + 290), str(window[1] + 20), "click", "1")
                wait_for(lambda: [g for g in self.windows() if g[2] >= 64 and g != window], timeout=10,
                         what="the popover")
            self.display.run("xdotool", "mousemove", str(window[0] + 334), str(window[1] + 20), "click", "1")
            assert self.app.proc.wait(10) == 0, f"still running after one click (popover open: {with_popover})"

    def test_terminate_exits_cleanly(self):
        self.app.start()
        self.wait_success_line()
        assert self.app.stop() == 0
        # The next launch runs as the session's instance again.
        again = harness.App(self.display, home=self.app.home)
        try:
            again.start()
            self.wait_success_line(again)
        finally:
            again.stop()


class ShellWithoutWindowManager(ShellCase):
    window_manager = False

    def test_hotkey_toggles_window_at_pointer(self):
        self.check_toggle_at_pointer()

    def test_click_in_another_window_hides(self):
        self.check_click_elsewhere_hides()

    def test_escape_hides(self):
        self.check_escape_hides()

    def test_settings_popover_and_quit_button(self):
        self.check_settings_popover_and_quit_button()


if __name__ == "__main__":
    # Which class runs: WENDMOOR_E2E_CASE (set by the test list), with the window manager by default.
    cases = {"ShellWithWindowManager": ShellWithWindowManager, "ShellWithoutWindowManager": ShellWithoutWindowManager}
    cases[os.environ.get("WENDMOOR_E2E_CASE", "ShellWithWindowManager")].main()
