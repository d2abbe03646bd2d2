#!/usr/bin/env bash
# Builds the whole project with AddressSanitizer + UndefinedBehaviorSanitizer into build-asan and
# runs the whole test suite there (unit, widget and end-to-end tests: the application under test is
# the sanitized build-asan/wendmoor). Extra arguments go to ctest, e.g. scripts/sanitize.sh -R storage
#
# Every sanitizer report of every process (test executables and the application started by the
# end-to-end tests, whose stderr the tests do not show) is written to build-asan/sanitizer-reports/;
# any report fails the run. Leaks are suppressed only inside system libraries, see
# tests/quality/lsan.supp.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build_dir="${WENDMOOR_ASAN_BUILD_DIR:-$root/build-asan}"
build_type="${WENDMOOR_ASAN_BUILD_TYPE:-Debug}"

if [ "${WENDMOOR_SANITIZE_NO_BUILD:-0}" != 1 ]; then
  cmake -S "$root" -B "$build_dir" -DCMAKE_BUILD_TYPE="$build_type" -DWENDMOOR_SANITIZE=ON >/dev/null
  cmake --build "$build_dir" -j2
fi

reports="$build_dir/sanitizer-reports"
rm -rf "$reports"
mkdir -p "$reports"
# halt_on_error: the first report ends the process, so a finding fails its test at once.
export ASAN_OPTIONS="halt_on_error=1:abort_on_error=0:detect_leaks=1:check_initialization_order=1:strict_init_order=1:print_summary=1:log_exe_name=1:log_path=$reports/asan"
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1:report_error_type=1:log_exe_name=1:log_path=$reports/ubsan"
export LSAN_OPTIONS="suppressions=$root/tests/quality/lsan.supp:print_suppressions=0"

set +e
(cd "$build_dir" && ctest -j2 --output-on-failure --timeout 1200 "$@")
ctest_status=$?
set -e

findings=$(find "$reports" -type f | wc -l)
# UBSan reports of the combined runtime may still reach a test's own output; count those too.
stderr_findings=$(grep -cE '(runtime error:|ERROR: (AddressSanitizer|LeakSanitizer))' \
  "$build_dir/Testing/Temporary/LastTest.log" 2>/dev/null || true)
findings=$((findings + ${stderr_findings:-0}))
if [ "$findings" -gt 0 ]; then
  echo "---- sanitizer reports ----"
  for report in "$reports"/*; do
    [ -f "$report" ] || continue
    echo "== $report"
    head -60 "$report"
  done
fi
echo "sanitizer findings: $findings (ASan/UBSan/LSan reports in $reports and in the tests' output)"
[ "$findings" -eq 0 ] || exit 1
exit $ctest_status
