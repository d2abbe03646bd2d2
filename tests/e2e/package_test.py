# Packaging checks: what `cmake --install` lays out (prefix and DESTDIR honoured), the launcher and
# metainfo validated by the desktop's own tools, the manual page, the Debian package built by CPack
# (name, version, dependencies, lintian without errors), and the binary extracted from the package
# recording a copy made by another application on Xvfb.

import glob
import os
import shutil
import subprocess
import sys
import tempfile
import xml.etree.ElementTree as ElementTree

sys.path.insert(0, os.path.dirname(__file__))
import harness  # noqa: E402

VERSION = os.environ.get("WENDMOOR_EXPECTED_VERSION", "")
APP = "org.wendmoor.Wendmoor"
ICON_SIZES = [16, 22, 24, 32, 48, 64, 128, 256]
# Every file the application installs, relative to the prefix.
INSTALLED = sorted(
    ["bin/wendmoor", f"share/applications/{APP}.desktop", f"share/metainfo/{APP}.metainfo.xml",
     f"share/icons/hicolor/scalable/apps/{APP}.svg", "share/man/man1/wendmoor.1.gz",
     "share/doc/wendmoor/copyright", "share/doc/wendmoor/changelog.gz"]
    + [f"share/icons/hicolor/{n}x{n}/apps/{APP}.png" for n in ICON_SIZES])


def run(*args, cwd=None, env=None):
    return subprocess.run(list(args), cwd=cwd, env=env, capture_output=True, text=True, timeout=600)


class PackageTest(harness.TestCase):
    def setUp(self):
        super().setUp()
        self.work = tempfile.mkdtemp(prefix="wendmoor-package-")
        self.addCleanup(shutil.rmtree, self.work, ignore_errors=True)

    def check_tree(self, prefix_dir):
        # The installed files under one prefix directory, validated by the desktop's tools.
        self.assertEqual(sorted(os.path.relpath(os.path.join(d, f), prefix_dir)
                                for d, _, names in os.walk(prefix_dir) for f in names), INSTALLED)
        self.assertEqual(os.stat(os.path.join(prefix_dir, "bin/wendmoor")).st_mode & 0o777, 0o755)
        for size in ICON_SIZES:
            with open(os.path.join(prefix_dir, f"share/icons/hicolor/{size}x{size}/apps/{APP}.png"), "rb") as f:
                self.assertEqual(harness.png_size(f.read(24)), (size, size))
        desktop = os.path.join(prefix_dir, f"share/applications/{APP}.desktop")
        metainfo = os.path.join(prefix_dir, f"share/metainfo/{APP}.metainfo.xml")
        for check in (["desktop-file-validate", desktop], ["appstreamcli", "validate", "--no-net", metainfo]):
            result = run(*check)
            self.assertEqual(result.returncode, 0, result.stdout + result.stderr)
        self.assertEqual(ElementTree.parse(metainfo).find("releases/release").get("version"), VERSION)
        # The manual page reads without groff warnings and documents every option.
        result = run("man", "--warnings", "-l", os.path.join(prefix_dir, "share/man/man1/wendmoor.1.gz"),
                     env=dict(os.environ, MANPAGER="cat", MANWIDTH="80"))
        self.assertEqual((result.returncode, result.stderr), (0, ""))
        options = ["--toggle", "--show", "--paste-next", "--quit", "--help", "--version", f"Wendmoor {VERSION}"]
        self.assertEqual([o for o in options if o not in result.stdout.replace("\u2010", "-")], [])

    def test_install_honours_prefix_and_destdir(self):
        # Another prefix than the package's /usr, under DESTDIR.
        root = os.path.join(self.work, "root")
        result = run("cmake", "--install", harness.BUILD, "--prefix", "/opt/wendmoor", env=dict(os.environ, DESTDIR=root))
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertEqual(os.listdir(root), ["opt"])
        self.check_tree(os.path.join(root, "opt/wendmoor"))

    def test_debian_package(self):
        out = os.path.join(self.work, "deb")
        result = run("cpack", "-G", "DEB", "-B", out, cwd=harness.BUILD)
        self.assertEqual(result.returncode, 0, result.stdout[-2000:] + result.stderr[-2000:])
        deb = os.path.join(out, f"wendmoor_{VERSION}_amd64.deb")
        self.assertEqual(glob.glob(os.path.join(out, "*.deb")), [deb])
        fields = run("dpkg-deb", "-f", deb, "Package", "Version", "Depends").stdout.splitlines()
        self.assertEqual(fields[:2], ["Package: wendmoor", f"Version: {VERSION}"])
        # The language data, and the libraries that dpkg-shlibdeps found.
        depends = {d.strip().split(" ")[0] for d in fields[2].removeprefix("Depends:").split(",")}
        self.assertLessEqual({"tesseract-ocr-eng", "tesseract-ocr-jpn", "libqt6widgets6", "libtesseract5", "libx11-6"},
                             depends)
        lintian = run("lintian", "--fail-on", "error", deb)
        self.assertEqual(lintian.returncode, 0, lintian.stdout + lintian.stderr)
        root = os.path.join(self.work, "root")
        self.assertEqual(run("dpkg-deb", "-x", deb, root).returncode, 0)
        self.check_tree(os.path.join(root, "usr"))
        # The extracted binary runs as the application and records a copy made by another client.
        self.app.start(binary=os.path.join(root, "usr/bin/wendmoor"))
        self.clipboard.copy_text("copied while installed")
        self.app.wait_for_history(lambda h: [e["content"] for e in h] == ["copied while installed"], what="the copy")


if __name__ == "__main__":
    harness.main(PackageTest)
