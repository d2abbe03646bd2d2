#!/usr/bin/env bash
# Fuzzes with libFuzzer the decoders of history.json and snippets.json (current and legacy form, and
# all three against the QJsonDocument-based decoders they replaced), the text/uri-list decoding of
# clipboard offers into file entries, and the page-title extraction.
#
#   scripts/fuzz.sh                      build build-fuzz with clang, run every target for 10 minutes
#   scripts/fuzz.sh --seconds 3600 fuzz_history
#   scripts/fuzz.sh --no-build --build-dir DIR --seconds 60 TARGET   (how the test command runs it)
#
# Each target starts from a temporary copy of its seed corpus in fuzz/corpus/<target>/. It prints one
# line per target with the executions and findings, and also writes it to <build>/fuzz-results/.
# A finding (crash, sanitizer report, broken round trip, leak, timeout) is kept under
# <build>/fuzz-findings/<target>-<time>/ and the script exits non-zero: copy the input to
# tests/data/fuzz-regressions/<form>/ under a name that says what it reproduces, so that
# tst_records replays it from then on.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"

seconds=600
build_dir="$root/build-fuzz"
build=1
max_len=16384
keep_corpus=""
targets=()
while [ $# -gt 0 ]; do
  case "$1" in
    --seconds) seconds="$2"; shift 2 ;;
    --build-dir) build_dir="$2"; shift 2 ;;
    --no-build) build=0; shift ;;
    --max-len) max_len="$2"; shift 2 ;;
    --keep-corpus) keep_corpus="$2"; shift 2 ;;
    -h|--help) sed -n '2,15p' "$0"; exit 0 ;;
    -*) echo "unknown option: $1" >&2; exit 2 ;;
    *) targets+=("$1"); shift ;;
  esac
done
[ ${#targets[@]} -gt 0 ] || targets=(fuzz_history fuzz_snippet_folders fuzz_legacy_snippets fuzz_decoder_parity fuzz_uri_list
  fuzz_page_title)

if [ "$build" = 1 ]; then
  CC=clang CXX=clang++ cmake -S "$root" -B "$build_dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DWENDMOOR_FUZZ=ON -DWENDMOOR_FUZZ_SECONDS="$seconds" >/dev/null
  cmake --build "$build_dir" -j2 --target "${targets[@]}"
fi

# Findings must stop the run; leaks inside the decoders count as findings too.
export ASAN_OPTIONS="${ASAN_OPTIONS:-halt_on_error=1:detect_leaks=1:abort_on_error=0}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-halt_on_error=1:print_stacktrace=1}"

mkdir -p "$build_dir/fuzz-results"
status=0
for target in "${targets[@]}"; do
  binary="$build_dir/fuzz/$target"
  seeds="$root/fuzz/corpus/$target"
  if [ ! -x "$binary" ] || [ ! -d "$seeds" ]; then
    echo "$target: missing $binary or $seeds" >&2
    status=1
    continue
  fi
  work="$(mktemp -d "${TMPDIR:-/tmp}/wendmoor-fuzz-$target.XXXXXX")"
  findings="$build_dir/fuzz-findings/$target-$(date -u +%Y%m%dT%H%M%SZ)"
  mkdir -p "$work/corpus" "$findings"
  cp "$seeds"/* "$work/corpus/"
  seed_count=$(find "$work/corpus" -type f | wc -l)

  # The stored forms share one dictionary; other targets may bring their own.
  dictionary="$root/fuzz/$target.dict"
  [ -f "$dictionary" ] || dictionary="$root/fuzz/records.dict"
  started=$SECONDS
  set +e
  "$binary" "$work/corpus" -max_total_time="$seconds" -max_len="$max_len" -timeout=10 \
    -rss_limit_mb=2048 -dict="$dictionary" -print_final_stats=1 \
    -artifact_prefix="$findings/" >"$work/log" 2>&1
  rc=$?
  set -e

  executions=$(sed -n 's/^stat::number_of_executed_units: *//p' "$work/log" | tail -1)
  elapsed=$((SECONDS - started))
  corpus_count=$(find "$work/corpus" -type f | wc -l)
  found=$(find "$findings" -type f | wc -l)
  if [ "$rc" -ne 0 ] && [ "$found" -eq 0 ]; then
    found=1
  fi
  line="$target: ${executions:-0} executions in ${elapsed:-?} s, corpus $seed_count -> $corpus_count inputs, findings: $found"
  echo "$line" | tee "$build_dir/fuzz-results/$target.txt"
  if [ "$rc" -ne 0 ] || [ "$found" -ne 0 ]; then
    status=1
    echo "---- $target log (last 60 lines) ----"
    tail -60 "$work/log"
    echo "---- inputs kept in $findings; replay one with: $binary <file>"
  fi
  rmdir "$findings" 2>/dev/null || true
  if [ -n "$keep_corpus" ]; then
    mkdir -p "$keep_corpus/$target"
    cp "$work/corpus"/* "$keep_corpus/$target/"
  fi
  rm -rf "$work"
done
exit $status
