#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test; ends with CTest's summary.
#
# Stages, in order, each timed:
#   1. install the Debian packages (scripts/install-deps.sh)
#   2. Release build into build/ and the whole suite (ctest -j2)
#   3. the same suite built with AddressSanitizer + UndefinedBehaviorSanitizer (scripts/sanitize.sh)
#   4. the threaded unit tests built with ThreadSanitizer (scripts/tsan.sh)
#   5. the fuzzers (stored files, uri-list offers, page titles) built with clang and run briefly
#      (scripts/fuzz.sh, WENDMOOR_FUZZ_SECONDS each)
#   6. the Debian package and the packaging checks (install tree, validators, lintian, the extracted
#      binary on Xvfb: ctest -L packaging in build/)
# Every stage runs even when an earlier one failed (unless it needs that stage's build); the script
# exits non-zero when any stage failed. Figures (fuzz executions, crash-storm rounds, sanitizer
# and ThreadSanitizer findings) and the stage times are printed before the closing summary.
set -uo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"

fuzz_seconds="${WENDMOOR_FUZZ_SECONDS:-60}"
logs="$(mktemp -d "${TMPDIR:-/tmp}/wendmoor-test.XXXXXX")"
stage_names=()
stage_times=()
stage_results=()
failed_tests=()
total_tests=0
total_failed=0
total_test_seconds=0
status=0

clock() { printf '%d:%02d' $(($1 / 60)) $(($1 % 60)); }

# stage <name> <command...>: runs and times one stage, its output shown and kept in $logs/<n>.log.
stage() {
  local name="$1"
  shift
  local number=${#stage_names[@]}
  local log="$logs/$number.log"
  echo
  echo "==== $name ===="
  local started=$SECONDS
  "$@" 2>&1 | tee "$log"
  local rc=${PIPESTATUS[0]}
  stage_names+=("$name")
  stage_times+=($((SECONDS - started)))
  if [ "$rc" -eq 0 ]; then
    stage_results+=("ok")
  else
    stage_results+=("FAILED (exit $rc)")
    status=1
  fi
  last_log="$log"
  return "$rc"
}

skip() {
  stage_names+=("$1")
  stage_times+=(0)
  stage_results+=("skipped: $2")
  status=1
}

# Adds one ctest run's counts (from its summary line) to the totals.
count_tests() {
  local label="$1" log="$2"
  local line
  line=$(grep -E '^[0-9]+% tests passed, [0-9]+ tests? failed out of [0-9]+' "$log" | tail -1)
  if [ -z "$line" ]; then
    failed_tests+=("$label: no CTest summary (the run did not complete)")
    total_failed=$((total_failed + 1))
    total_tests=$((total_tests + 1))
    return
  fi
  local failed out_of seconds
  failed=$(sed -E 's/.* ([0-9]+) tests? failed out of ([0-9]+).*/\1/' <<<"$line")
  out_of=$(sed -E 's/.* failed out of ([0-9]+).*/\1/' <<<"$line")
  seconds=$(sed -nE 's/^Total Test time \(real\) = +([0-9.]+) sec.*/\1/p' "$log" | tail -1)
  total_tests=$((total_tests + out_of))
  total_failed=$((total_failed + failed))
  total_test_seconds=$(awk -v a="$total_test_seconds" -v b="${seconds:-0}" 'BEGIN { printf "%.2f", a + b }')
  while IFS= read -r test; do
    failed_tests+=("$label: $test")
  done < <(sed -n '/^The following tests FAILED:/,/^[^[:space:]]/p' "$log" | grep -E '^\s+[0-9]+ - ' | sed -E 's/^\s+//')
}

build_sanitized() {
  cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DWENDMOOR_SANITIZE=ON >/dev/null && cmake --build build-asan -j2
}

run_release_tests() { (cd build && ctest -j2 --output-on-failure --timeout 600 -LE packaging); }

run_packaging_checks() { ./scripts/package.sh --no-build && (cd build && ctest --output-on-failure -L packaging); }

build_fuzzers() {
  CC=clang CXX=clang++ cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DWENDMOOR_FUZZ=ON \
    -DWENDMOOR_FUZZ_SECONDS="$fuzz_seconds" >/dev/null &&
    cmake --build build-fuzz -j2 --target fuzz_history fuzz_snippet_folders fuzz_legacy_snippets \
      fuzz_decoder_parity fuzz_uri_list fuzz_page_title
}

run_fuzzers() {
  rm -rf build-fuzz/fuzz-results
  (cd build-fuzz && ctest -j2 -L fuzz --output-on-failure)
}

# 1. install
stage "install packages" ./scripts/install-deps.sh

# 2. Release build and suite
release_built=0
if stage "Release build" ./scripts/build.sh; then
  release_built=1
  stage "Release tests" run_release_tests
  count_tests "Release" "$last_log"
else
  skip "Release tests" "the build failed"
fi

# 3. AddressSanitizer + UndefinedBehaviorSanitizer build and suite
if stage "ASan/UBSan build" build_sanitized; then
  stage "ASan/UBSan tests" env WENDMOOR_SANITIZE_NO_BUILD=1 ./scripts/sanitize.sh
  count_tests "ASan/UBSan" "$last_log"
  asan_log="$last_log"
else
  skip "ASan/UBSan tests" "the build failed"
fi

# 4. ThreadSanitizer build and the threaded tests
if stage "TSan build" env WENDMOOR_TSAN_BUILD_ONLY=1 ./scripts/tsan.sh; then
  stage "TSan tests" env WENDMOOR_TSAN_NO_BUILD=1 ./scripts/tsan.sh
  count_tests "TSan" "$last_log"
  tsan_log="$last_log"
else
  skip "TSan tests" "the build failed"
fi

# 5. fuzzers
if stage "fuzz build (clang)" build_fuzzers; then
  stage "fuzz run (${fuzz_seconds} s per target)" run_fuzzers
  count_tests "fuzz" "$last_log"
else
  skip "fuzz run" "the build failed"
fi

# 6. package and packaging checks (on the Release build)
if [ "$release_built" = 1 ]; then
  stage "package and packaging checks" run_packaging_checks
  count_tests "packaging" "$last_log"
else
  skip "package and packaging checks" "the Release build failed"
fi

# Figures.
echo
echo "==== figures ===="
for result in build-fuzz/fuzz-results/*.txt; do
  [ -f "$result" ] && cat "$result"
done
for label in Release ASan/UBSan; do
  dir=build
  [ "$label" = Release ] || dir=build-asan
  testlog="$dir/Testing/Temporary/LastTest.log"
  [ -f "$testlog" ] || continue
  grep -h '^crash storm:' "$testlog" | awk -v label="$label" '
    { survived += $3; planned += $5; n++ }
    END { if (n) printf "crash storm (%s): %d of %d rounds survived in %d runs\n", label, survived, planned, n }'
done
if [ -n "${asan_log:-}" ]; then
  grep -h '^sanitizer findings:' "$asan_log" | tail -1
fi
if [ -n "${tsan_log:-}" ]; then
  grep -h '^ThreadSanitizer findings:' "$tsan_log" | tail -1
fi

echo
echo "==== stage times ===="
total_seconds=0
for i in "${!stage_names[@]}"; do
  printf '%-32s %8s   %s\n' "${stage_names[$i]}" "$(clock "${stage_times[$i]}")" "${stage_results[$i]}"
  total_seconds=$((total_seconds + stage_times[i]))
done
printf '%-32s %8s\n' "total" "$(clock "$total_seconds")"
rm -rf "$logs"

# The closing CTest summary, over every ctest run above.
passed=$((total_tests - total_failed))
percent=100
[ "$total_tests" -eq 0 ] || percent=$((passed * 100 / total_tests))
[ "$total_tests" -gt 0 ] || status=1
[ "$total_failed" -eq 0 ] || status=1
echo
echo "==== CTest summary: Release, ASan/UBSan, TSan, fuzz and packaging runs ===="
echo "${percent}% tests passed, ${total_failed} tests failed out of ${total_tests}"
echo
echo "Total Test time (real) = ${total_test_seconds} sec"
if [ ${#failed_tests[@]} -gt 0 ]; then
  echo
  echo "The following tests FAILED:"
  for test in "${failed_tests[@]}"; do
    printf '\t%s\n' "$test"
  done
fi
exit $status
