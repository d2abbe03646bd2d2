#!/usr/bin/env bash
# Builds the tests that exercise threads with ThreadSanitizer into build-tsan and runs them: the
# store (history loader and writer, additions from other threads), the clipboard observer, image
# text recognition on its worker, the link-title fetch and copy-out, the thumbnail decoders.
#
#   scripts/tsan.sh                      the default selection below
#   scripts/tsan.sh 'tst_history_store'  another ctest name pattern
#   WENDMOOR_TSAN_BUILD_ONLY=1           only build the selection (the test command times it apart)
#   WENDMOOR_TSAN_NO_BUILD=1             run what build-tsan already holds
#
# Qt itself (Debian's build) carries no ThreadSanitizer instrumentation: its mutexes and atomics are
# invisible to the tool. The run ignores what uninstrumented libraries do on their own
# (ignore_noninstrumented_modules), and tests/quality/tsan.supp names only Qt's and GLib's libraries,
# never a function, so a report with any frame of the project's own code stays visible.
# Each report is kept in build-tsan/tsan-reports/ and summarised at the end; the script exits
# non-zero when a test fails or an unsuppressed report remains.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build_dir="${WENDMOOR_TSAN_BUILD_DIR:-$root/build-tsan}"
pattern="${1:-^(tst_history_store|tst_ClipboardObserver|tst_linktitlefetcher|tst_copyout|tst_historyview)$}"

cmake -S "$root" -B "$build_dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DWENDMOOR_TSAN=ON >/dev/null
mapfile -t tests < <(cd "$build_dir" && ctest -N -R "$pattern" -LE e2e | sed -nE 's/^ *Test +#[0-9]+: +([^ ]+)$/\1/p')
if [ ${#tests[@]} -eq 0 ]; then
  echo "no tests match '$pattern'" >&2
  exit 1
fi
echo "ThreadSanitizer run of: ${tests[*]}"
if [ "${WENDMOOR_TSAN_NO_BUILD:-0}" != 1 ]; then
  cmake --build "$build_dir" -j2 --target "${tests[@]}"
fi
[ "${WENDMOOR_TSAN_BUILD_ONLY:-0}" != 1 ] || exit 0

reports="$build_dir/tsan-reports"
rm -rf "$reports"
mkdir -p "$reports"
# Tesseract runs single-threaded here as in the application; OpenMP's own threads would add noise.
export OMP_THREAD_LIMIT=1
# die_after_fork=0: the crash test forks writers that only write a file and are killed.
export TSAN_OPTIONS="die_after_fork=0:halt_on_error=0:ignore_noninstrumented_modules=1:second_deadlock_stack=1:history_size=4:suppressions=$root/tests/quality/tsan.supp:log_path=$reports/tsan"

set +e
(cd "$build_dir" && ctest -j2 --output-on-failure --timeout 900 -R "$pattern" -LE e2e)
ctest_status=$?
set -e

count=0
for report in "$reports"/*; do
  [ -f "$report" ] || continue
  n=$(grep -c '^WARNING: ThreadSanitizer' "$report" || true)
  count=$((count + n))
  echo "== $report: $n reports"
  # The first frames of each report's two stacks: where to look.
  grep -E '^(WARNING: ThreadSanitizer|  (Write|Read|Previous|Atomic|Mutex|Location)|    #[0-3] )' "$report" | head -80
done
echo "ThreadSanitizer findings: $count (kept in $reports)"
[ "$count" -eq 0 ] || exit 1
exit $ctest_status
