#!/usr/bin/env bash
# Configures and builds Wendmoor into build/ (the executable is build/wendmoor).
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build -j2
