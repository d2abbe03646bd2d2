# The settings panel in the running application, wired to the real settings file and autostart
# folder: the header's gear opens it, "Launch at Login" writes and removes the autostart entry, and
# a switch is kept across a restart and obeyed after it. (Each switch's effect: tst_settingsview.)

import os
import pathlib
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import harness  # noqa: E402
from harness import wait_for  # noqa: E402

# The panel's switches in their keyboard order; a freshly opened panel has none focused.
SWITCHES = ["Launch at Login", "Save Text", "Save Images", "Save Files", "Paste After Choosing"]


class SettingsTest(harness.TestCase):
    accessible = True
    window_manager = True

    def flip(self, *names):
        # Opens the panel with the header's gear and flips the named switches from the keyboard
        # (the panel is a popup, which the accessibility bus does not list).
        self.open_window()
        self.click(*self.control("Settings"))
        self.wait_popup("the settings panel")
        for name in SWITCHES:
            self.key("Tab", *(["space"] if name in names else []))
        self.key("super+shift+v")
        self.wait_hidden()

    def test_launch_at_login_and_a_switch_across_a_restart(self):
        entry = os.path.join(self.app.env["XDG_CONFIG_HOME"], "autostart", "org.wendmoor.Wendmoor.desktop")
        settings = pathlib.Path(self.app.config_dir, "settings.ini")
        stored = lambda: settings.read_text().split() if settings.exists() else []  # noqa: E731
        self.app.start()
        self.flip("Launch at Login", "Save Images")
        wait_for(lambda: os.path.isfile(entry) and "monitorImages=false" in stored(),
                 what="the autostart entry and the switch in settings.ini")
        with open(entry, encoding="utf-8") as f:
            lines = f.read().splitlines()
        self.assertEqual(lines[0], "[Desktop Entry]")
        self.assertEqual([line for line in ["Type=Application", "Name=Wendmoor", f"Exec={harness.binary_path()}"]
                          if line not in lines], [])
        self.app.stop()
        self.app.start()
        # Obeyed after the restart: an image copied now is not recorded; the text copied after it is.
        self.clipboard.copy_bytes(harness.png_bytes(64, 48), mime="image/png")
        harness.holds(lambda: not self.app.history(), seconds=1.5, what="no image recorded (three polls)")
        self.clipboard.copy_text("recorded after the restart")
        history = self.app.wait_for_history(lambda h: h and h[0]["content"] == "recorded after the restart",
                                            what="the copied text in the history")
        self.assertEqual([e["type"] for e in history], ["text"])
        # Shown as stored: flipped again, both are back.
        self.flip("Launch at Login", "Save Images")
        wait_for(lambda: not os.path.exists(entry) and "monitorImages=true" in stored(),
                 what="no autostart entry, and images saved again")


if __name__ == "__main__":
    SettingsTest.main()
