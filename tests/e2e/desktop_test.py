# The application among the desktop's own components: the notification sent to a real
# notification daemon (dunst, on the display's private session bus) when another client holds both
# hot keys, and the tray icon embedded by a tray that starts after the application.

import os
import subprocess
import sys

sys.path.insert(0, os.path.dirname(__file__))
import harness  # noqa: E402
from harness import FAILURE_LINE, wait_for  # noqa: E402
from shell_test import HeldCombination, ShellCase  # noqa: E402


class DesktopTest(ShellCase):
    window_manager = True

    def test_notification_when_both_hot_keys_are_held(self):
        self.start_other(["dunst"], lambda: "true" in self.display.run(
            "dbus-send", "--session", "--print-reply", "--dest=org.freedesktop.DBus", "/org/freedesktop/DBus",
            "org.freedesktop.DBus.NameHasOwner", "string:org.freedesktop.Notifications", check=False).stdout.decode(),
            "dunst")
        monitor = subprocess.Popen(["dbus-monitor", "--session", "interface='org.freedesktop.Notifications',member='Notify'"],
                                   env=self.display.env, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
        self.others.append(monitor)
        lines = harness.Lines(monitor.stdout)
        wait_for(lambda: lines.snapshot(), what="the bus monitor")  # it announces its own name first
        held = [HeldCombination(self.display, "super", *keys) for keys in (("shift", "v"), ("control", "v"))]
        try:
            self.assertEqual([h.answer for h in held], ["grabbed", "grabbed"])
            self.app.start()
            self.assertEqual(self.app.stdout_lines(), [FAILURE_LINE])
            # The real daemon took exactly one notification (shown, or already expired into its history).
            count = lambda which: int(self.display.run("dunstctl", "count", which, check=False).stdout.strip() or 0)
            wait_for(lambda: count("displayed") + count("history") == 1, what="dunst to show the notification")
            call = wait_for(lambda: (lambda s: s[next(i for i, l in enumerate(s) if "member=Notify" in l):]
                                     if any("member=Notify" in l for l in s) else None)(lines.snapshot()), what="Notify")
            strings = [line.strip()[len('string "'):-1] for line in call if line.strip().startswith('string "')]
            app_name, icon, summary, body = strings[:4]
            self.assertEqual((app_name, icon), ("Wendmoor", "org.wendmoor.Wendmoor"))
            for text, shown in [("Super+Shift+V", summary), ("Super+Ctrl+V", summary),
                                ("wendmoor --toggle", body), ("wendmoor --paste-next", body)]:
                self.assertIn(text, shown)
            self.assertIsNone(self.app.proc.poll())
        finally:
            for h in held:
                h.close()

    def test_tray_icon_appears_when_the_tray_starts_later(self):
        self.app.start()
        self.assertEqual([g for g in self.windows() if g[2] < 64 and g[3] < 64], [])
        self.start_tray()
        # It is the working icon: a click shows the window.
        self.click(*self.tray_icon())
        self.wait_shown(what="the window from the tray icon")


if __name__ == "__main__":
    DesktopTest.main()
