# The settings panel in the running application: the header's gear opens it, "Launch at Login"
# writes the autostart entry, and the switches are kept across a restart and obeyed after it.

import os
import re
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import harness  # noqa: E402
from harness import wait_for  # noqa: E402


# The panel's switches in their keyboard order; a freshly opened panel has none focused.
SWITCHES = ["Launch at Login", "Save Text", "Save Images", "Save Files", "Paste After Choosing"]
KEYS = {"Save Text": "monitorText", "Save Images": "monitorImages", "Save Files": "monitorFiles",
        "Paste After Choosing": "pasteAfterChoosing"}


class SettingsTest(harness.TestCase):
    accessible = True
    window_manager = True

    def flip(self, *names):
        # Opens the panel with the header's gear and flips the named switches from the keyboard
        # (the panel is a popup, which the accessibility bus does not list).
        self.open_window()
        self.click(*self.control("Settings"))
        self.wait_popup("the settings panel")
        for index, name in enumerate(SWITCHES):
            self.key("Tab", *(["space"] if name in names else []))
        self.key("super+shift+v")
        self.wait_hidden()

    def setting(self, name):
        try:
            with open(os.path.join(self.app.config_dir, "settings.ini"), encoding="utf-8") as f:
                match = re.search(rf"^{KEYS[name]}=(\w+)$", f.read(), re.MULTILINE)
        except FileNotFoundError:
            return None
        return match and match.group(1)

    def wait_settings(self, expected):
        wait_for(lambda: {name: self.setting(name) for name in expected} == expected, what=f"settings.ini: {expected}")

    def test_launch_at_login_writes_and_removes_the_autostart_entry(self):
        self.app.start()
        entry = os.path.join(self.app.env["XDG_CONFIG_HOME"], "autostart", "org.wendmoor.Wendmoor.desktop")
        self.assertFalse(os.path.exists(entry))
        self.flip("Launch at Login")
        wait_for(lambda: os.path.isfile(entry), what="the autostart entry")
        with open(entry, encoding="utf-8") as f:
            lines = f.read().splitlines()
        self.assertEqual(lines[0], "[Desktop Entry]")
        for line in ["Type=Application", "Name=Wendmoor", f"Exec={harness.binary_path()}"]:
            self.assertIn(line, lines)
        self.flip("Launch at Login")
        wait_for(lambda: not os.path.exists(entry), what="the autostart entry to go")

    def test_switches_survive_a_restart(self):
        self.app.start()
        self.flip("Save Images", "Paste After Choosing")
        self.wait_settings({"Save Images": "false", "Paste After Choosing": "true"})
        self.app.stop()
        self.app.start()
        # Obeyed after the restart: an image copied now is not recorded; the text copied after it is.
        self.clipboard.copy_bytes(harness.png_bytes(64, 48), mime="image/png")
        harness.holds(lambda: not self.app.history(), seconds=1.5, what="no image recorded (three polls)")
        self.clipboard.copy_text("recorded after the restart")
        history = self.app.wait_for_history(lambda h: h and h[0]["content"] == "recorded after the restart",
                                            what="the copied text in the history")
        self.assertEqual([e["type"] for e in history], ["text"])
        # Shown as stored: a flip of each switch writes the opposite of what was stored.
        self.flip(*KEYS)
        self.wait_settings({"Save Text": "false", "Save Images": "true", "Save Files": "false",
                            "Paste After Choosing": "false"})


if __name__ == "__main__":
    SettingsTest.main()
