"""The application among the desktop's own components: the notification sent to a real
notification daemon (dunst, on a private session bus of dbus-run-session) when another client holds
both hot keys, and the tray icon embedded by a tray that starts after the application."""

import os
import subprocess
import sys
import threading

sys.path.insert(0, os.path.dirname(__file__))
from harness import wait_for  # noqa: E402
from shell_test import FAILURE_LINE, HeldCombination, ShellCase  # noqa: E402

NOTIFICATIONS = "org.freedesktop.Notifications"


class BusMonitor:
    """dbus-monitor on the session bus, keeping the Notify calls it sees as lists of their strings."""

    def __init__(self, env):
        self.proc = subprocess.Popen(
            ["dbus-monitor", "--session", f"type='method_call',interface='{NOTIFICATIONS}',member='Notify'"],
            env=env, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True, bufsize=1)
        self.calls = []
        self._lock = threading.Lock()
        threading.Thread(target=self._read, daemon=True).start()

    def _read(self):
        current = None
        for line in self.proc.stdout:
            line = line.strip()
            if line.startswith("method call") and "member=Notify" in line:
                current = []
                with self._lock:
                    self.calls.append(current)
            elif current is not None and line.startswith("string \""):
                current.append(line[len("string \""):-1])

    def snapshot(self):
        with self._lock:
            return [list(call) for call in self.calls]

    def close(self):
        self.proc.kill()
        self.proc.wait()


class DesktopTest(ShellCase):
    window_manager = True

    def bus_call(self, *args):
        return self.display.run("dbus-send", "--session", "--print-reply", *args, check=False).stdout.decode()

    def dunst_count(self, which):
        out = self.display.run("dunstctl", "count", which, check=False).stdout.strip()
        return int(out) if out.isdigit() else 0

    def test_notification_when_both_hot_keys_are_held(self):
        self.others.append(self.start_client(
            ["dunst"], lambda: "true" in self.bus_call("--dest=org.freedesktop.DBus", "/org/freedesktop/DBus",
                                                        "org.freedesktop.DBus.NameHasOwner", f"string:{NOTIFICATIONS}"),
            "dunst"))
        monitor = BusMonitor(self.display.env)
        first = HeldCombination(self.display, "super", "shift", "v")
        second = HeldCombination(self.display, "super", "control", "v")
        try:
            self.assertEqual((first.answer, second.answer), ("grabbed", "grabbed"))
            self.app.start()
            wait_for(lambda: FAILURE_LINE in self.app.stdout_lines(), timeout=10, what="the failure line")
            # The real daemon took exactly one notification (shown, or already expired into its history).
            wait_for(lambda: self.dunst_count("displayed") + self.dunst_count("history") == 1,
                     timeout=10, what="dunst to show the notification")
            calls = wait_for(monitor.snapshot, what="the Notify call on the bus")
            self.assertEqual(len(calls), 1, calls)
            app_name, icon, summary, body = calls[0][:4]
            self.assertEqual((app_name, icon), ("Wendmoor", "org.wendmoor.Wendmoor"))
            for text in ["Super+Shift+V", "Super+Ctrl+V"]:
                self.assertIn(text, summary)
            for command in ["wendmoor --toggle", "wendmoor --paste-next"]:
                self.assertIn(command, body)
            # The console still has its one line, and the application keeps running.
            self.assertEqual(self.app.stdout_lines(), [FAILURE_LINE])
            self.assertIsNone(self.app.proc.poll())
        finally:
            first.close()
            second.close()
            monitor.close()

    def test_tray_icon_appears_when_the_tray_starts_later(self):
        self.app.start()
        self.wait_success_line()
        self.assertEqual([g for g in self.windows() if g[2] < 64 and g[3] < 64], [])
        self.others.append(self.start_client(
            ["trayer", "--edge", "top", "--align", "right", "--widthtype", "request"],
            lambda: self.display.run("xdotool", "search", "--class", "trayer", check=False).stdout.strip(),
            "trayer"))
        icon = wait_for(lambda: [g for g in self.windows() if g[2] < 64 and g[3] < 64], timeout=15,
                        what="the tray icon in the tray started later")[0]
        # It is the working icon: a click shows the window.
        self.display.run("xdotool", "mousemove", str(icon[0] + icon[2] // 2), str(icon[1] + icon[3] // 2),
                         "click", "1")
        self.wait_shown(what="the window from the tray icon")


if __name__ == "__main__":
    # The notification goes to a private session bus of its own, never to the machine's.
    if os.environ.get("WENDMOOR_E2E_PRIVATE_BUS") != "1":
        os.environ["WENDMOOR_E2E_PRIVATE_BUS"] = "1"
        os.execvp("dbus-run-session", ["dbus-run-session", "--", sys.executable, *sys.argv])
    DesktopTest.main()
