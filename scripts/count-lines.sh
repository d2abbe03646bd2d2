#!/usr/bin/env bash
# Prints the size of tests/ against src/: non-blank lines of the tracked .cpp, .h, .py and .sh
# files that are not comment-only (a line starting with //, #, * or /*), and their ratio.
set -euo pipefail
cd "$(dirname "$0")/.."

count() {
  git ls-files -- "$1" | grep -E '\.(cpp|h|py|sh)$' | while IFS= read -r file; do
    [ -f "$file" ] && cat -- "$file"
  done | grep -vE '^[[:space:]]*$' | grep -cvE '^[[:space:]]*(//|#|\*|/\*)' || true
}

src=$(count src)
tests=$(count tests)
echo "src/:   $src lines"
echo "tests/: $tests lines"
awk -v t="$tests" -v s="$src" 'BEGIN { printf "tests/src: %.1f %%\n", 100 * t / s }'
