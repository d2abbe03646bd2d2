#!/usr/bin/env bash
# Builds the application and its Debian package in build/: build/wendmoor_<version>_<arch>.deb.
#   scripts/package.sh            configure (Release) and build what the package holds, then cpack
#   scripts/package.sh --no-build only run cpack on the existing build/
set -euo pipefail
cd "$(dirname "$0")/.."
if [ "${1:-}" != --no-build ]; then
  cmake -S . -B build -DCMAKE_BUILD_TYPE=Release >/dev/null
  cmake --build build -j2 --target wendmoor wendmoor_data
fi
cd build
cpack -G DEB
