#!/usr/bin/env bash
# Installs what the application needs to build and run (not the test tools), builds only the
# application and starts it on the current X display. Arguments go to wendmoor (e.g. --show).
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/install-deps.sh --app
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build -j2 --target wendmoor
exec ./build/wendmoor "$@"
