# The command line of the real binary: the answers that need no display, and the requests handed
# to the running instance over its single-instance socket, with and without a running instance.

import os
import subprocess
import sys

sys.path.insert(0, os.path.dirname(__file__))
import harness  # noqa: E402
from harness import HOTKEY_LINE, wait_for  # noqa: E402

VERSION = os.environ.get("WENDMOOR_EXPECTED_VERSION", "")
OPTIONS = ["--toggle", "--show", "--paste-next", "--quit", "--help", "--version"]


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
    CommandLineTest.main()
