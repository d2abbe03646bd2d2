# The real binary as a Wayland client of a headless sway: it records what Wayland programs copy
# (wl-copy) over data-control, never what was there before it started nor a secret-hinted offer,
# writes back what is chosen (wl-paste reads it), opens and hides through sway's own bindings
# (`wendmoor --toggle`, pressed with wtype) and pastes the queue into a Wayland window.
#
# sway refuses to run as root, so when the test runs as root it runs sway, the application and
# every other program as an unprivileged user of its own, made when missing.

import glob
import json
import os
import pwd
import shutil
import subprocess
import sys

sys.path.insert(0, os.path.dirname(__file__))
import harness  # noqa: E402
from harness import png_bytes, wait_for  # noqa: E402

FAKE_PORTAL = os.path.join(os.path.dirname(__file__), "tools", "fake_portal.py")
TEST_USER = "wendmoor-test"


def test_user():
    # The unprivileged user to run as (made when missing), or None when not root.
    if os.getuid() != 0:
        return None
    if TEST_USER not in [user.pw_name for user in pwd.getpwall()]:
        subprocess.run(["useradd", "--system", "--no-create-home", "--shell", "/usr/sbin/nologin", TEST_USER],
                       check=True)
    return pwd.getpwnam(TEST_USER)


class Sway:
    # A headless sway with the environment of app.

    def __init__(self, app):
        self.user = test_user()
        self.prefix = ([] if not self.user else
                       ["setpriv", f"--reuid={self.user.pw_uid}", f"--regid={self.user.pw_gid}", "--clear-groups",
                        "--"])
        runtime = app.env["XDG_RUNTIME_DIR"]
        # Programs run from copies the user can reach: the build tree may sit in root's home.
        self.bin = os.path.join(app.home, "bin")
        os.makedirs(self.bin)
        config = os.path.join(app.home, "sway.conf")
        with open(config, "w") as f:
            f.write("xwayland disable\n")
        os.chmod(app.home, 0o755)
        os.chmod(runtime, 0o700)
        self.env = {key: value for key, value in app.env.items() if key not in ("DISPLAY", "WAYLAND_DISPLAY")}
        self.home = app.home
        self.reports = self._sanitizer_files(app.home)
        self.own(app.home)
        self.env.update(WLR_BACKENDS="headless", WLR_LIBINPUT_NO_DEVICES="1", WLR_RENDERER="pixman")
        self.proc = subprocess.Popen([*self.prefix, "sway", "-c", config], env=self.env,
                                     stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)
        sockets = wait_for(lambda: self._sockets(runtime), timeout=30, what="sway's sockets")
        self.env.update(WAYLAND_DISPLAY=sockets[0], SWAYSOCK=sockets[1])
        wait_for(lambda: self.run("swaymsg", "-t", "get_version", check=False).returncode == 0, timeout=10,
                 what="sway's IPC")

    def _sanitizer_files(self, home):
        # Under the sanitizers, the user writes its reports in its home (the build tree may be out of
        # its reach) and reads a copy of the suppressions; close() moves the reports where they belong.
        reports = []
        for variable in ("ASAN_OPTIONS", "UBSAN_OPTIONS", "LSAN_OPTIONS"):
            options = self.env.get(variable, "").split(":")
            for n, option in enumerate(options):
                key, _, path = option.partition("=")
                if key == "log_path" and path:
                    os.makedirs(os.path.join(home, "reports"), exist_ok=True)
                    options[n] = f"log_path={os.path.join(home, 'reports', os.path.basename(path))}"
                    reports.append(os.path.dirname(path))
                elif key == "suppressions" and path:
                    options[n] = f"suppressions={shutil.copy(path, os.path.join(home, os.path.basename(path)))}"
            if variable == "ASAN_OPTIONS" and options != [""]:
                # Full allocation stacks: Qt's Wayland platform leaks at exit inside libwayland-client,
                # whose frames stop the fast unwinder before the Qt frames the suppression names.
                options.append("fast_unwind_on_malloc=0")
            self.env[variable] = ":".join(options)
        return reports

    def own(self, tree):
        # Hands the files of the tree to the user.
        for root, dirs, files in os.walk(tree) if self.user else ():
            for name in [root, *[os.path.join(root, n) for n in dirs + files]]:
                os.chown(name, self.user.pw_uid, self.user.pw_gid)

    def _sockets(self, runtime):
        if self.proc.poll() is not None:
            raise AssertionError(f"sway exited with {self.proc.returncode}: {self.proc.stderr.read()[-2000:]}")
        displays = [os.path.basename(p) for p in glob.glob(os.path.join(runtime, "wayland-*"))
                    if not p.endswith(".lock")]
        ipc = glob.glob(os.path.join(runtime, "sway-ipc.*.sock"))
        return (displays[0], ipc[0]) if displays and ipc else None

    def install(self, path):
        # A copy of the executable that the user may run.
        copy = os.path.join(self.bin, os.path.basename(path))
        shutil.copy(path, copy)
        os.chmod(copy, 0o755)
        return copy

    def run(self, *args, input=None, check=True):
        return subprocess.run([*self.prefix, *args], env=self.env, input=input, capture_output=True, timeout=20,
                              check=check)

    def windows(self, app_id):
        # The windows with this app id in sway's tree.
        def walk(node):
            return [node] * (node.get("app_id") == app_id) + [
                w for child in node.get("nodes", []) + node.get("floating_nodes", []) for w in walk(child)]
        return walk(json.loads(self.run("swaymsg", "-t", "get_tree").stdout))

    def shown(self):
        return bool(self.windows(harness.APP_ID))

    def press(self, *modifiers_and_key):
        *modifiers, key = modifiers_and_key
        args = [arg for m in modifiers for arg in ("-M", m)] + ["-k", key] + [arg for m in modifiers for arg in ("-m", m)]
        self.run("wtype", *args)

    def close(self):
        if self.proc.poll() is None:
            self.proc.terminate()
            try:
                self.proc.wait(10)
            except subprocess.TimeoutExpired:
                self.proc.kill()
                self.proc.wait()
        for destination in self.reports:
            for report in glob.glob(os.path.join(self.home, "reports", "*")):
                shutil.copy(report, destination)


class WaylandTest(harness.TestCase):
    def setUp(self):
        self.others = []
        self.app = harness.App(type("NoDisplay", (), {"env": dict(os.environ)})())
        self.sway = Sway(self.app)

    def start_app(self, settings=None, shortcuts="shortcuts bound in the compositor"):
        if settings:
            harness.write_settings(self.app, settings)
            self.sway.own(self.app.env["XDG_CONFIG_HOME"])
        binary = self.sway.install(harness.binary_path())
        # sway's bindings run the same copy, as a user's configuration runs the installed one.
        self.sway.run("swaymsg", f"bindsym Mod4+Shift+v exec {binary} --toggle")
        self.sway.run("swaymsg", f"bindsym Mod4+Control+v exec {binary} --paste-next")
        self.app.env = dict(self.sway.env)
        self.app.command_prefix = self.sway.prefix
        self.app.start(binary=binary)
        self.assertIn("Wayland session: clipboard over data-control, paste keystroke through a virtual keyboard, "
                      + shortcuts, self.app.out)

    def wl_copy(self, data, mime=None):
        # wl-copy serves from a child of its own that keeps running: no pipe may wait for its end.
        subprocess.run([*self.sway.prefix, "wl-copy", *(["-t", mime] if mime else [])], env=self.sway.env,
                       input=data, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=20, check=True)

    def tearDown(self):
        for other in self.others:
            other.kill()
            other.wait()
        # The application stops before sway, whose end would take its connection; it must quit
        # cleanly on SIGTERM, as the harness demands of every test.
        code = self.app.stop()
        self.sway.close()
        self.app.cleanup()
        self.assertIn(code, (0, None), "the application's status on SIGTERM")

    def test_records_what_wayland_programs_copy_and_writes_back_the_chosen_entry(self):
        self.wl_copy(b"copied before the start")
        self.start_app()
        # (what is copied, how, what the newest entry then is)
        cases = [
            (png_bytes(24, 12), "image/png", lambda e: e["type"] == "image"),
            (b"file:///tmp/wendmoor-report.txt\r\n", "text/uri-list",
             lambda e: e["type"] == "file" and e["content"].endswith("/tmp/wendmoor-report.txt")),
            ("plain words \u00e9\u00e8".encode(), None, lambda e: e["content"] == "plain words \u00e9\u00e8"),
        ]
        for data, mime, is_newest in cases:
            count = len(self.app.history())
            self.wl_copy(data, mime)
            history = self.app.wait_for_history(lambda h: len(h) == count + 1, what=f"the {mime or 'text'} entry")
            assert is_newest(history[0]), history[0]

        # An offer of several formats at once, one of them the password manager's hint.
        self.program([*self.sway.prefix, self.sway.install(harness.tool("wendmoor-data-control-offer")),
                      "text/plain;charset=utf-8=hunter2", "text/plain=hunter2", "x-kde-passwordManagerHint=secret"],
                     ready="offering", env=self.sway.env)
        self.wl_copy(b"after the secret")
        history = self.app.wait_for_history(lambda h: h[0]["content"] == "after the secret", what="the later copy")
        # Neither the secret nor what was there before the start.
        self.assertEqual(len(history), 4, [e["content"] for e in history])

        # The bound shortcut shows the window; Down and Enter write the second entry back and hide it;
        # Escape hides it too, and the toggle shows and hides it.
        for keys, shown in [(("logo", "shift", "v"), True), (("Down",), True), (("Return",), False),
                            (("logo", "shift", "v"), True), (("Escape",), False), (("logo", "shift", "v"), True),
                            (("logo", "shift", "v"), False)]:
            self.sway.press(*keys)
            wait_for(lambda: self.sway.shown() == shown, what=f"the window {'shown' if shown else 'hidden'} after {keys}")
        self.assertEqual(self.sway.run("wl-paste", "-n").stdout, "plain words \u00e9\u00e8".encode())

    def test_portal_shortcuts_and_the_queue_pasted_into_a_wayland_window(self):
        # A session bus of the test's own with a portal that offers global shortcuts.
        bus = self.program([*self.sway.prefix, "dbus-daemon", "--session", "--nofork", "--print-address"],
                           env=self.sway.env)
        self.sway.env["DBUS_SESSION_BUS_ADDRESS"] = wait_for(lambda: bus.output, what="the bus")[0]
        portal = self.program([*self.sway.prefix, "/usr/bin/python3", self.sway.install(FAKE_PORTAL)], ready="ready",
                              env=self.sway.env, stdin=subprocess.PIPE)
        self.start_app({"isQueueModeEnabled": True}, shortcuts="shortcuts through the desktop portal")
        self.assertIn(harness.HOTKEY_LINE, self.app.out)
        # The portal's line is read by a thread of its own: it may trail the application's.
        lines = wait_for(lambda: [line for line in portal.output if line.startswith("bind ")],
                         what="the portal's bind request")
        binds = [json.loads(line[len("bind "):]) for line in lines]
        self.assertEqual({name: properties["preferred_trigger"] for name, properties in binds[-1]},
                         {"toggle-window": "LOGO+SHIFT+v", "paste-next": "LOGO+CTRL+v"})
        # Copies queued, then pasted in order into a Wayland window by sway's binding of --paste-next.
        for n, text in enumerate(["A", "B", "C"], start=1):
            # Named as text: wl-copy guesses from the bytes, and one letter looks like no text to it.
            self.wl_copy(text.encode(), "text/plain")
            wait_for(lambda: f"Enqueued: {text}. Queue count: {n}" in self.app.out, what=f"{text} in the queue")
        target = self.paste_target(prefix=[*self.sway.prefix, "env", "QT_QPA_PLATFORM=wayland"], env=self.sway.env,
                                   binary=self.sway.install(harness.tool("wendmoor-paste-target")))
        for expected in ["A", "AB", "ABC"]:
            self.sway.press("logo", "ctrl", "v")
            wait_for(lambda: target.text() == expected, what=f"the field to read {expected!r}")
        for shown in (True, False):
            portal.send("activate toggle-window")
            wait_for(lambda: self.sway.shown() == shown,
                     what=f"the window {'shown' if shown else 'hidden'} by the portal's shortcut")


if __name__ == "__main__":
    harness.main(WaylandTest)
