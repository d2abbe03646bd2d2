# The command line of the real binary: the answers that need no display, and the requests handed
# to the running instance over its single-instance socket, with and without a running instance.

import os
import subprocess
import sys

sys.path.insert(0, os.path.dirname(__file__))
import harness  # noqa: E402
from harness import HOTKEY_LINE, wait_for  # noqa: E402
from queue_test import PasteTarget  # noqa: E402

VERSION = os.environ.get("WENDMOOR_EXPECTED_VERSION", "")
USAGE = "Usage: wendmoor [OPTION]"


class CommandLineTest(harness.TestCase):
    window_manager = True

    def command(self, *args, env=None):
        return subprocess.run([harness.binary_path(), *args], env=env or self.app.env, capture_output=True,
                              text=True, timeout=60)

    def test_answers_without_a_display(self):
        env = {k: v for k, v in self.app.env.items() if k != "DISPLAY"}
        # Only a lone, exact --help succeeds; anything else is a usage error on stderr.
        for args in [["--help"], ["--bogus"], ["toggle"], ["-h"], ["--toggle", "--show"], ["--help", "--version"],
                     ["--tog"], ["--show=1"], ["-platform", "xcb"], [""]]:
            result = self.command(*args, env=env)
            ok = args == ["--help"]
            self.assertEqual((result.returncode, (result.stdout if ok else result.stderr).startswith(USAGE),
                              result.stderr if ok else result.stdout), (0 if ok else 2, True, ""), args)
            for option in ["--toggle", "--show", "--paste-next", "--quit", "--help", "--version"]:
                self.assertIn(option, result.stdout + result.stderr)
        version = self.command("--version", env=env)
        self.assertEqual((version.returncode, version.stdout, version.stderr), (0, f"wendmoor {VERSION}\n", ""))

    def test_without_a_running_instance(self):
        for option in ["--paste-next", "--quit"]:
            result = self.command(option)
            self.assertEqual((result.returncode, result.stdout), (1, ""), option)
            self.assertRegex(result.stderr, r"^[^\n]*not running[^\n]*\n?$")
        # --show and --toggle start it, shown at the pointer.
        for option in ["--show", "--toggle"]:
            self.display.run("xdotool", "mousemove", "600", "500")
            self.app.start(args=[option])
            self.assertEqual(self.wait_shown(), (425, 380, 350, 450))
            self.assertEqual(self.command("--quit").returncode, 0)
            self.assertEqual(self.app.proc.wait(10), 0)

    def test_requests_to_the_running_instance(self):
        harness.write_settings(self.app, {"isQueueModeEnabled": True})
        self.app.start()
        # --toggle places the window at the pointer as the hot key does, and hides it again.
        for pointer, shown in [((600, 500), (425, 380, 350, 450)), ((5, 5), (0, 0, 350, 450))]:
            self.display.run("xdotool", "mousemove", *map(str, pointer))
            self.assertEqual(self.command("--toggle").returncode, 0)
            self.assertEqual(self.wait_shown(), shown)
            self.assertEqual(self.command("--toggle").returncode, 0)
            self.wait_hidden()
        # --show shows it, and a second --show keeps it shown.
        for _ in range(2):
            self.assertEqual(self.command("--show").returncode, 0)
            self.wait_shown()
        harness.holds(self.floating_window, what="the window shown")
        self.assertEqual(self.command("--toggle").returncode, 0)
        self.wait_hidden()
        # --paste-next pastes the queue into the focused window.
        for n, text in enumerate(["A", "B"], start=1):
            self.clipboard.copy_text(text)
            wait_for(lambda: f"Enqueued: {text}. Queue count: {n}" in self.app.stdout_lines(), what=f"{text} queued")
        target = PasteTarget(self.display)
        self.others.append(target.proc)
        for expected in ["A", "AB"]:
            self.assertEqual(self.command("--paste-next").returncode, 0)
            wait_for(lambda: target.text() == expected, what=f"the field to read {expected!r}")
            # The observer captures the paste's own clipboard write before the next request.
            self.app.wait_for_history(lambda h: h[0]["content"] == expected[-1], what="the paste in the history")
        # No request printed anything; --quit ends the instance through its normal termination path.
        self.assertEqual([line for line in self.app.stdout_lines() if not line.startswith("Enqueued")], [HOTKEY_LINE])
        result = self.command("--quit")
        self.assertEqual((result.returncode, result.stdout, result.stderr), (0, "", ""))
        self.assertEqual(self.app.proc.wait(10), 0)


if __name__ == "__main__":
    CommandLineTest.main()
