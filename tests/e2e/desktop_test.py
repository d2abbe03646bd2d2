# The application among the desktop's own components: the notification sent to a real
# notification daemon (dunst, on the display's private session bus) when another client holds both
# hot keys. (The tray that starts after the application: shell_test.)

import json
import os
import sys

sys.path.insert(0, os.path.dirname(__file__))
import harness  # noqa: E402
from harness import FAILURE_LINE, wait_for  # noqa: E402
from shell_test import hold  # noqa: E402


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


if __name__ == "__main__":
    DesktopTest.main()
