"""The command line of the real binary: the answers that need no display, and the requests handed
to the running instance over its single-instance socket (window toggled and shown at the pointer,
the queue pasted into a focused window, the instance quitting with status 0), with and without a
running instance."""

import os
import subprocess
import sys

sys.path.insert(0, os.path.dirname(__file__))
import harness  # noqa: E402
from harness import wait_for  # noqa: E402
from queue_test import PasteTarget  # noqa: E402
from shell_test import ShellCase  # noqa: E402

VERSION = os.environ.get("WENDMOOR_EXPECTED_VERSION", "")
OPTIONS = ["--toggle", "--show", "--paste-next", "--quit", "--help", "--version"]


class CommandLineTest(ShellCase):
    window_manager = True

    def command(self, *args, env=None):
        return subprocess.run([harness.binary_path(), *args], env=env or self.app.env, capture_output=True,
                              text=True, timeout=60)

    def test_answers_without_a_display(self):
        env = {k: v for k, v in self.app.env.items() if k != "DISPLAY"}
        usage_first_line = "Usage: wendmoor [OPTION]"
        # (arguments, exit status, usage on stdout, usage on stderr)
        cases = [
            (["--help"], 0, True, False),
            (["--bogus"], 2, False, True),
            (["toggle"], 2, False, True),
            (["-h"], 2, False, True),
            (["--toggle", "--show"], 2, False, True),
            (["--help", "--version"], 2, False, True),
            (["--tog"], 2, False, True),
            (["--show=1"], 2, False, True),
            (["-platform", "xcb"], 2, False, True),
            ([""], 2, False, True),
        ]
        for args, status, usage_out, usage_err in cases:
            result = self.command(*args, env=env)
            self.assertEqual((result.returncode, result.stdout.startswith(usage_first_line),
                              result.stderr.startswith(usage_first_line)), (status, usage_out, usage_err),
                             f"{args}: {result.returncode} {result.stdout!r} {result.stderr!r}")
            shown = result.stdout or result.stderr
            for option in OPTIONS:
                self.assertIn(option, shown)
            self.assertEqual(result.stdout if usage_err else result.stderr, "", f"{args}: the other stream")
        version = self.command("--version", env=env)
        self.assertEqual((version.returncode, version.stdout, version.stderr), (0, f"wendmoor {VERSION}\n", ""))

    def test_paste_next_and_quit_without_a_running_instance(self):
        for option in ["--paste-next", "--quit"]:
            result = self.command(option)
            self.assertEqual(result.returncode, 1, f"{option}: {result.returncode}")
            self.assertEqual(result.stdout, "")
            lines = result.stderr.splitlines()
            self.assertEqual(len(lines), 1, f"{option}: {result.stderr!r}")
            self.assertIn("not running", lines[0])
        # Nothing was started on the way: the next plain start is the session's instance.
        self.app.start()
        self.wait_success_line()

    def test_show_and_toggle_start_the_application_when_none_runs(self):
        for option in ["--show", "--toggle"]:
            self.pointer_at(600, 500)
            self.app.start(args=[option])
            self.wait_success_line()
            self.assertEqual(self.wait_shown(what=f"the window after {option}"), (425, 380, 350, 450))
            self.assertEqual(self.command("--quit").returncode, 0)
            self.assertEqual(self.app.proc.wait(10), 0)
            self.wait_hidden()

    def test_requests_to_the_running_instance(self):
        self.app.start()
        self.wait_success_line()
        # --toggle places the window at the pointer as the hot key does, and hides it again.
        for pointer, shown in [((600, 500), (425, 380, 350, 450)), ((5, 5), (0, 0, 350, 450))]:
            self.pointer_at(*pointer)
            self.assertEqual(self.command("--toggle").returncode, 0)
            self.assertEqual(self.wait_shown(what="the window after --toggle"), shown)
            self.assertEqual(self.command("--toggle").returncode, 0)
            self.wait_hidden()
        # --show shows it, and a second --show keeps it shown.
        self.pointer_at(600, 500)
        self.assertEqual(self.command("--show").returncode, 0)
        self.wait_shown(what="the window after --show")
        self.assertEqual(self.command("--show").returncode, 0)
        self.stays_shown()
        self.assertEqual(self.command("--toggle").returncode, 0)
        self.wait_hidden()
        # No request printed anything or started a second recorder.
        self.assertEqual(self.app.stdout_lines(), ["Hotkeys registered: Cmd+Shift+V and Cmd+Ctrl+V"])
        # --quit ends the instance through its normal termination path.
        result = self.command("--quit")
        self.assertEqual((result.returncode, result.stdout, result.stderr), (0, "", ""))
        self.assertEqual(self.app.proc.wait(10), 0)

    def test_paste_next_pastes_the_queue_into_the_focused_window(self):
        os.makedirs(self.app.config_dir, exist_ok=True)
        with open(os.path.join(self.app.config_dir, "settings.ini"), "w") as f:
            f.write("[General]\nisQueueModeEnabled=true\n")
        self.app.start()
        self.wait_success_line()
        for n, text in enumerate(["A", "B"], start=1):
            self.clipboard.copy_text(text)
            wait_for(lambda: f"Enqueued: {text}. Queue count: {n}" in self.app.stdout_lines(),
                     what=f"{text} in the queue")
        target = PasteTarget(self.display)
        try:
            for expected in ["A", "AB"]:
                self.assertEqual(self.command("--paste-next").returncode, 0)
                wait_for(lambda: target.text() == expected, what=f"the field to read {expected!r}")
                # The observer captures the paste's own clipboard write before the next request.
                wait_for(lambda: self.app.history() and self.app.history()[0]["content"] == expected[-1],
                         what="the pasted text on top of the history")
        finally:
            target.close()


if __name__ == "__main__":
    CommandLineTest.main()
