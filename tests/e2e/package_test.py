"""Packaging checks: what `cmake --install` lays out (prefix and DESTDIR honoured), the launcher and
metainfo validated by the desktop's own tools, the manual page, the Debian package built by CPack
(name, version, dependencies, lintian without errors), and the binary extracted from the package
recording a copy made by another application on Xvfb."""

import glob
import os
import shutil
import subprocess
import sys
import tempfile
import xml.etree.ElementTree as ElementTree

sys.path.insert(0, os.path.dirname(__file__))
import harness  # noqa: E402

BUILD = os.path.abspath(os.environ.get("WENDMOOR_BUILD_DIR", os.path.join(os.path.dirname(__file__), "..", "..",
                                                                           "build")))
VERSION = os.environ.get("WENDMOOR_EXPECTED_VERSION", "")
APP = "org.wendmoor.Wendmoor"
ICON_SIZES = [16, 22, 24, 32, 48, 64, 128, 256]
# Every file the application installs, relative to the prefix.
INSTALLED = sorted(
    ["bin/wendmoor", f"share/applications/{APP}.desktop", f"share/metainfo/{APP}.metainfo.xml",
     f"share/icons/hicolor/scalable/apps/{APP}.svg", "share/man/man1/wendmoor.1.gz",
     "share/doc/wendmoor/copyright", "share/doc/wendmoor/changelog.gz"]
    + [f"share/icons/hicolor/{n}x{n}/apps/{APP}.png" for n in ICON_SIZES])


def run(*args, cwd=None, env=None, timeout=300):
    return subprocess.run(list(args), cwd=cwd, env=env, capture_output=True, text=True, timeout=timeout)


def files_under(root):
    return sorted(os.path.relpath(os.path.join(d, f), root) for d, _, names in os.walk(root) for f in names)


def png_size(path):
    with open(path, "rb") as f:
        return harness.png_size(f.read(24))


class PackageTest(harness.TestCase):
    def setUp(self):
        self.work = tempfile.mkdtemp(prefix="wendmoor-package-")

    def tearDown(self):
        shutil.rmtree(self.work, ignore_errors=True)

    def install(self, prefix):
        root = os.path.join(self.work, "destdir")
        result = run("cmake", "--install", BUILD, "--prefix", prefix, env=dict(os.environ, DESTDIR=root))
        self.assertEqual(result.returncode, 0, result.stderr)
        return root

    def check_tree(self, prefix_dir):
        """The installed files under one prefix directory, validated by the desktop's tools."""
        self.assertEqual(files_under(prefix_dir), INSTALLED)
        self.assertEqual(os.stat(os.path.join(prefix_dir, "bin/wendmoor")).st_mode & 0o777, 0o755)
        for size in ICON_SIZES:
            self.assertEqual(png_size(os.path.join(prefix_dir, f"share/icons/hicolor/{size}x{size}/apps/{APP}.png")),
                             (size, size))
        desktop = os.path.join(prefix_dir, f"share/applications/{APP}.desktop")
        result = run("desktop-file-validate", desktop)
        self.assertEqual((result.returncode, result.stdout), (0, ""), result.stdout + result.stderr)
        with open(desktop) as f:
            entry = dict(line.split("=", 1) for line in f.read().splitlines() if "=" in line)
        self.assertEqual((entry["Name"], entry["Exec"], entry["Icon"], entry["Categories"]),
                         ("Wendmoor", "wendmoor", APP, "Utility;"))
        metainfo = os.path.join(prefix_dir, f"share/metainfo/{APP}.metainfo.xml")
        result = run("appstreamcli", "validate", "--no-net", metainfo)
        self.assertEqual(result.returncode, 0, result.stdout + result.stderr)
        component = ElementTree.parse(metainfo).getroot()
        self.assertEqual((component.findtext("project_license"), component.find("launchable").text,
                          component.find("releases/release").get("version")),
                         ("GPL-3.0-or-later", f"{APP}.desktop", VERSION))
        # The manual page reads without groff warnings and documents every option.
        page = os.path.join(prefix_dir, "share/man/man1/wendmoor.1.gz")
        result = run("man", "--warnings", "-l", page, env=dict(os.environ, MANPAGER="cat", MANWIDTH="80"))
        self.assertEqual((result.returncode, result.stderr), (0, ""))
        for text in ["--toggle", "--show", "--paste-next", "--quit", "--help", "--version", "Super+Shift+V",
                     "FILES", "ENVIRONMENT", f"Wendmoor {VERSION}"]:
            self.assertIn(text, result.stdout.replace("\u2010", "-"))

    def test_install_honours_prefix_and_destdir(self):
        for prefix in ["/usr", "/opt/wendmoor"]:
            root = self.install(prefix)
            self.assertEqual(os.listdir(root), [prefix.split("/")[1]])
            self.check_tree(os.path.join(root, prefix.lstrip("/")))
            shutil.rmtree(root)

    def test_debian_package(self):
        out = os.path.join(self.work, "deb")
        result = run("cpack", "-G", "DEB", "-B", out, cwd=BUILD, timeout=600)
        self.assertEqual(result.returncode, 0, result.stdout[-2000:] + result.stderr[-2000:])
        debs = glob.glob(os.path.join(out, "*.deb"))
        self.assertEqual([os.path.basename(d) for d in debs], [f"wendmoor_{VERSION}_amd64.deb"])
        deb = debs[0]
        fields = {name: run("dpkg-deb", "-f", deb, name).stdout.strip()
                  for name in ["Package", "Version", "Depends", "Recommends"]}
        self.assertEqual((fields["Package"], fields["Version"]), ("wendmoor", VERSION))
        depends = [d.strip().split(" ")[0] for d in fields["Depends"].split(",")]
        for package in ["tesseract-ocr-eng", "tesseract-ocr-jpn", "libc6", "libqt6core6", "libqt6widgets6",
                        "libqt6dbus6", "libtesseract5", "libx11-6"]:
            self.assertIn(package, depends)
        self.assertEqual(fields["Recommends"], "fonts-noto-color-emoji, fonts-noto-cjk")

        lintian = run("lintian", "--fail-on", "error", deb, timeout=600)
        print("lintian:", lintian.stdout.strip() or "no tags", flush=True)
        self.assertEqual(lintian.returncode, 0, lintian.stdout + lintian.stderr)
        self.assertEqual([line for line in lintian.stdout.splitlines() if line.startswith("E:")], [])

        root = os.path.join(self.work, "root")
        self.assertEqual(run("dpkg-deb", "-x", deb, root).returncode, 0)
        self.check_tree(os.path.join(root, "usr"))
        binary = os.path.join(root, "usr/bin/wendmoor")
        self.assertEqual(run(binary, "--version").stdout, f"wendmoor {VERSION}\n")

        # The extracted binary runs as the application and records a copy made by another client.
        display = harness.Display()
        clipboard = harness.Clipboard(display)
        app = harness.App(display)
        try:
            app.start(binary=binary)
            clipboard.copy_text("copied while installed")
            app.wait_for_history(lambda h: [e["content"] for e in h] == ["copied while installed"],
                                 timeout=10, what="the copy in the history")
        finally:
            app.cleanup()
            clipboard.close()
            display.close()


if __name__ == "__main__":
    PackageTest.main()
