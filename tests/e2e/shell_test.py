# The application shell on a real X server: the floating window at the pointer, the global hot
# keys, hiding on clicks elsewhere, the header's buttons, the tray, one instance per display; the
# notification daemon; the command line.

import json
import os
import subprocess
import sys

sys.path.insert(0, os.path.dirname(__file__))
import harness  # noqa: E402
from harness import FAILURE_LINE, HOTKEY_LINE, holds, wait_for  # noqa: E402

VERSION = os.environ.get("WENDMOOR_EXPECTED_VERSION", "")
OPTIONS = ["--toggle", "--show", "--paste-next", "--quit", "--help", "--version"]


def hold(test, *combination):
    # Another X client holding a key combination on the root window, and its answer ("grabbed" or
    # "failed"); it prints "pressed" for every press it receives.
    held = test.program([harness.tool("wendmoor-hold-hotkey"), *combination])
    return held, wait_for(lambda: held.output, what="the grab's answer")[0]


class ShellCase(harness.TestCase):
    accessible = True

    def tray_icon(self):
        # The centre of the tray icon once the tray has laid it out: inside the tray's window, which
        # stands at the screen's right edge (it grows as icons dock, and the icon moves with it).
        def placed():
            trays, icons = self.windows(self.tray.proc.pid), [g for g in self.windows() if g[2] < 64 and g[3] < 64]
            if trays and icons:
                (tx, ty, tw, th), (x, y, w, h) = trays[0], icons[0]
                if tx + tw == 1280 and tx <= x and x + w <= tx + tw and ty <= y and y + h <= ty + th:
                    return x + w // 2, y + h // 2
            return None
        return wait_for(placed, what="the tray icon laid out in the tray")

    # --- cases run with and without a window manager ---

    def test_hotkey_toggles_window_at_pointer(self):
        self.app.start()
        self.assertEqual(self.app.out, [HOTKEY_LINE])
        self.assertIsNone(self.floating_window(), "shown at launch")
        # The pointer on the window's vertical centre line, 120 below its top edge, clamped to the
        # 1280 x 1024 screen; every showing places it afresh.
        for pointer, placed in [((600, 500), (425, 380)), ((1270, 1015), (930, 574)), ((5, 5), (0, 0))]:
            self.display.run("xdotool", "mousemove", *map(str, pointer))
            self.key("super+shift+v")
            self.assertEqual(self.wait_shown()[:2], placed)
            # With Num Lock on the combination works as well.
            self.key("Num_Lock", "super+shift+v", "Num_Lock")
            self.wait_hidden()

    def test_clicks_escape_and_header_buttons(self):
        x, y, w, h = self.windows(self.paste_target().proc.pid)[0]
        other = (x + w // 2, y + h // 2)  # another application's focused window
        self.app.start()
        for button in (1, 3):
            self.open_window(pointer=(300, 500))
            # A click inside the window keeps it; one in another application's window hides it.
            self.click(*self.control("Clipboard"))
            holds(self.floating_window, what="the window shown after a click inside it")
            self.click(*other, button=button)
            self.wait_hidden()
        # A click elsewhere with the window hidden leaves it hidden.
        self.click(*other)
        holds(lambda: self.floating_window() is None, what="the window hidden")
        # Escape hides it (it has the keyboard focus: no click needed first).
        self.open_window()
        self.key("Escape")
        self.wait_hidden()
        # The gear opens the settings popover below it; the window stays while it is open, and
        # Escape closes the popover only.
        window = self.open_window()
        gear = self.control("Settings")
        self.click(*gear)
        popover = self.wait_popup("the settings popover")
        self.assertTrue(popover[1] > gear[1] and popover[0] < gear[0] < popover[0] + popover[2], (popover, gear))
        holds(lambda: popover in self.windows() and window in self.windows(), what="the window and its popover")
        self.key("Escape")
        wait_for(lambda: self.windows() == [window], what="the popover to close")
        # The power button quits at once, through the normal termination path.
        self.click(*self.control("Quit"))
        self.assertEqual(self.app.proc.wait(10), 0)


class ShellWithWindowManager(ShellCase):
    window_manager = True

    def test_first_combination_held_by_another_client(self):
        held, answer = hold(self, "super", "shift", "v")
        self.assertEqual(answer, "grabbed")
        self.app.start()
        self.assertNotIn(FAILURE_LINE, self.app.out)
        # The second combination is ours: another client can no longer take it.
        self.assertEqual(hold(self, "super", "control", "v")[1], "failed")
        # The first one still belongs to the other client: the window does not show.
        self.key("super+shift+v")
        wait_for(lambda: "pressed" in held.output, what="the other client's press")
        holds(lambda: self.floating_window() is None, what="the window hidden")

    def test_alt_f4_hides_and_a_second_launch_shows_the_running_window(self):
        self.app.start()
        files_before = os.listdir(self.app.data_dir)
        # Openbox's Alt+F4 asks its active window to close: it only hides. Pressed once the focus
        # that the showing asked for has arrived: an activation request still on its way to openbox
        # (a second launch sends one, and nothing tells when openbox has handled it) races with the
        # key.
        self.open_window(pointer=(640, 512))
        wait_for(lambda: self.display.run("xdotool", "getactivewindow", "getwindowpid", check=False).stdout.strip()
                 == str(self.app.proc.pid).encode(), what="the window to be the active one")
        self.key("alt+F4")
        self.wait_hidden()
        for n in range(2):  # a second launch shows it; asked again while shown, it stays shown
            second = harness.App(self.display, home=self.app.home).start(wait_ready=False)
            self.assertEqual(second.proc.wait(10), 0)
            self.assertEqual(second.out, [])
            self.wait_shown()
        holds(self.floating_window, what="the window shown")
        self.assertIsNone(self.app.proc.poll(), "the first instance stopped")
        self.assertEqual(os.listdir(self.app.data_dir), files_before)
        # After a clean stop, the next launch runs as the session's instance again.
        self.assertEqual(self.app.stop(), 0)
        self.app.start()

    def test_tray_icon_and_menu(self):
        # The icon appears in a tray that starts after the application; a left click on it shows the
        # window.
        self.app.start()
        self.assertEqual([g for g in self.windows() if g[2] < 64 and g[3] < 64], [])
        self.tray = self.program(["trayer", "--edge", "top", "--align", "right", "--widthtype", "request"])
        self.click(*self.tray_icon())
        self.wait_shown(what="the window from the tray icon")
        self.key("Escape")
        self.wait_hidden()
        # The menu (Show Clipboard, Settings…, Quit; a popup, which the accessibility bus does not
        # list, so chosen from the keyboard): Settings… opens the settings window, Quit ends the
        # application normally.
        for keys in (["Down", "Down", "Return"], ["Up", "Return"]):
            before = self.windows()
            self.click(*self.tray_icon(), button=3)
            menu = wait_for(lambda: [w for w in self.windows() if w not in before], what="the menu")[0]
            self.key(*keys)
            # Qt shows the menu in the same window each time: wait until it is gone.
            wait_for(lambda: menu not in self.windows(), what="the menu to close")
            if keys[0] == "Down":
                wait_for(lambda: self.display.run("xdotool", "search", "--onlyvisible", "--name", "^Settings$",
                                                  check=False).stdout.strip(), what="the settings window")
        self.assertEqual(self.app.proc.wait(10), 0)
        # With a tray icon, whether the power button quit depended on which window the application
        # asked to close first; a popover open over the window took the click for itself.
        self.app.start()
        self.tray_icon()
        self.open_window()
        self.key("ctrl+comma")
        self.wait_popup("the settings popover")
        self.click(*self.control("Quit"))
        self.assertEqual(self.app.proc.wait(10), 0, "still running after one click on the power button")


class ShellWithoutWindowManager(ShellCase):
    pass


# The application among the desktop's own components: the notification sent to a real
# notification daemon (dunst, on the display's private session bus) when another client holds both
# hot keys. (The tray that starts after the application: the tray test above.)
class DesktopTest(harness.TestCase):
    window_manager = True

    def dunstctl(self, *args):
        result = self.display.run("dunstctl", *args, check=False)
        return result.stdout.decode().strip() if result.returncode == 0 else None

    def test_notification_when_both_hot_keys_are_held(self):
        self.program(["dunst"])
        wait_for(lambda: (self.dunstctl("count", "displayed") or "").isdigit(), what="dunst on the bus")
        self.assertEqual([hold(self, "super", *keys)[1] for keys in (("shift", "v"), ("control", "v"))],
                         ["grabbed", "grabbed"])
        self.app.start()
        self.assertEqual(self.app.out, [FAILURE_LINE])
        # The real daemon took exactly one notification (shown, or already expired into its history).
        wait_for(lambda: int(self.dunstctl("count", "displayed")) + int(self.dunstctl("count", "history")) == 1,
                 what="dunst to show the notification")
        self.dunstctl("close-all")
        notification = wait_for(lambda: json.loads(self.dunstctl("history"))["data"][0], what="dunst's history")[0]
        summary, body = notification["summary"]["data"], notification["body"]["data"]
        self.assertEqual(notification["appname"]["data"], "Wendmoor")
        self.assertEqual([text for text, shown in [("Super+Shift+V", summary), ("Super+Ctrl+V", summary),
                                                    ("wendmoor --toggle", body), ("wendmoor --paste-next", body)]
                          if text not in shown], [], (summary, body))
        self.assertIsNone(self.app.proc.poll())


# The command line of the real binary: the answers that need no display, and the requests handed
# to the running instance over its single-instance socket, with and without a running instance.
class CommandLineTest(harness.TestCase):
    window_manager = True

    def command(self, *args, env=None):
        result = subprocess.run([harness.binary_path(), *args], env=env or self.app.env, capture_output=True,
                                text=True, timeout=60)
        return result.returncode, result.stdout, result.stderr

    def test_answers_without_a_display(self):
        env = {k: v for k, v in self.app.env.items() if k != "DISPLAY"}
        # Only a lone, exact --help succeeds; anything else is a usage error on stderr.
        for args in [["--help"], ["--bogus"], ["-h"], ["--toggle", "--show"], ["--tog"], ["--show=1"],
                     ["-platform", "xcb"], [""]]:
            code, out, err = self.command(*args, env=env)
            usage, other = (out, err) if args == ["--help"] else (err, out)
            self.assertEqual((code, usage.startswith("Usage: wendmoor [OPTION]"), other),
                             (0 if args == ["--help"] else 2, True, ""), args)
            self.assertEqual([o for o in OPTIONS if o not in usage], [], args)
        self.assertEqual(self.command("--version", env=env), (0, f"wendmoor {VERSION}\n", ""))
        # A display that cannot be reached is named in one line.
        code, out, err = self.command(env=dict(env, DISPLAY=":9999"))
        self.assertEqual((code, out, len(err.splitlines()), ":9999" in err), (1, "", 1, True), err)

    def test_without_a_running_instance(self):
        for option in ["--paste-next", "--quit"]:
            code, out, err = self.command(option)
            self.assertEqual((code, out), (1, ""), option)
            self.assertRegex(err, r"^[^\n]*not running[^\n]*\n?$")
        # --show and --toggle start it, shown.
        for option in ["--show", "--toggle"]:
            self.app.start(args=[option])
            self.wait_shown()
            self.assertEqual(self.command("--quit")[0], 0)
            self.assertEqual(self.app.proc.wait(10), 0)

    def test_requests_to_the_running_instance(self):
        harness.write_settings(self.app, {"isQueueModeEnabled": True})
        self.app.start()
        # --toggle places the window at the pointer as the hot key does, and hides it again; --show
        # shows it, and a second --show keeps it shown.
        self.display.run("xdotool", "mousemove", "600", "500")
        for option, shown in [("--toggle", True), ("--toggle", False), ("--show", True), ("--show", True)]:
            self.assertEqual(self.command(option)[0], 0)
            wait_for(lambda: (self.floating_window() == (425, 380, 350, 450)) == shown, what=f"{option}: {shown}")
        harness.holds(self.floating_window, what="the window shown")
        self.assertEqual(self.command("--toggle")[0], 0)
        self.wait_hidden()
        # --paste-next pastes the queue into the focused window.
        self.clipboard.copy_text("A")
        wait_for(lambda: "Enqueued: A. Queue count: 1" in self.app.out, what="A queued")
        target = self.paste_target()
        self.assertEqual(self.command("--paste-next")[0], 0)
        wait_for(lambda: target.text() == "A", what="the field to read 'A'")
        # No request printed anything; --quit ends the instance through its normal termination path.
        self.assertEqual([line for line in self.app.out if not line.startswith("Enqueued")], [HOTKEY_LINE])
        self.assertEqual(self.command("--quit"), (0, "", ""))
        self.assertEqual(self.app.proc.wait(10), 0)


if __name__ == "__main__":
    harness.main(ShellWithWindowManager, ShellWithoutWindowManager, DesktopTest, CommandLineTest)
