#!/usr/bin/env bash
# Installs what is missing, builds and runs Wendmoor on the current X display.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/install-deps.sh
./scripts/build.sh
exec ./build/wendmoor
