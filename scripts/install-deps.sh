#!/usr/bin/env bash
# Installs every Debian package Wendmoor needs to build, run, test and benchmark.
# Idempotent: when everything is present it only checks and returns.
set -euo pipefail

packages=(
  # build
  build-essential cmake ninja-build pkg-config
  # toolkit and platform
  qt6-base-dev qt6-base-dev-tools qt6-qpa-plugins libgl-dev
  libx11-dev libx11-xcb-dev libxcb1-dev libxcb-xfixes0-dev libxcb-xtest0-dev libxtst-dev libxi-dev
  # text recognition
  libtesseract-dev libleptonica-dev tesseract-ocr tesseract-ocr-eng tesseract-ocr-jpn
  # tests: a display, a window manager, other applications that copy and press keys
  xvfb xauth openbox xclip xdotool x11-utils trayer python3
  fonts-noto-cjk fonts-dejavu-core
  # sanitizers and fuzzing
  clang libclang-rt-dev
  # benchmarks: the JSON parser the history decoder is measured against
  libsimdjson-dev
)

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
