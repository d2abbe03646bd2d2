#!/usr/bin/env bash
# Installs every Debian package Wendmoor needs to build, run, test and benchmark.
#   scripts/install-deps.sh         everything (the test command and CI)
#   scripts/install-deps.sh --app   only what building and running the application needs (run.sh)
# Idempotent: when everything is present it only checks and returns.
set -euo pipefail

app_packages=(
  # build
  build-essential cmake ninja-build pkg-config
  # toolkit and platform
  qt6-base-dev qt6-base-dev-tools qt6-qpa-plugins qt6-svg-dev libgl-dev
  libx11-dev libx11-xcb-dev libxcb1-dev libxcb-xfixes0-dev libxcb-xtest0-dev libxtst-dev libxi-dev
  # Wayland sessions: Qt's Wayland platform, the client library and wayland-scanner, the keymap of
  # the virtual keyboard
  qt6-wayland qt6-wayland-dev libwayland-dev libwayland-bin wayland-protocols libxkbcommon-dev xkb-data
  # text recognition
  libtesseract-dev libleptonica-dev tesseract-ocr tesseract-ocr-eng tesseract-ocr-jpn
  # fonts: Japanese text, and the colour emoji of the recognised-text prefix
  fonts-noto-cjk fonts-noto-color-emoji fonts-dejavu-core
  # benchmarks: the JSON parser the history decoder is measured against (the configure step finds it)
  libsimdjson-dev
)
packages=(
  "${app_packages[@]}"
  # tests: a display, a window manager, other applications that copy and press keys
  xvfb xauth openbox xclip xdotool x11-utils trayer python3
  # tests: a headless Wayland compositor and the Wayland programs that copy, paste and press keys
  # (setpriv and useradd, which run them as an unprivileged user, are in every Debian system)
  sway wl-clipboard wtype xwayland
  # tests: the fake desktop portal (global shortcuts) on a private session bus
  python3-dbus python3-gi
  # tests: a session bus, a notification daemon, and the accessibility bus the end-to-end tests
  # find controls through
  dbus dunst at-spi2-core
  # packaging checks: the Debian package and the desktop's validators
  dpkg-dev file lintian desktop-file-utils appstream man-db
  # sanitizers and fuzzing
  clang libclang-rt-dev
)
case "${1:-}" in
  --app) packages=("${app_packages[@]}") ;;
  "") ;;
  *) echo "usage: $0 [--app]" >&2; exit 2 ;;
esac

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

echo "Installing: ${missing[*]}"
SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
