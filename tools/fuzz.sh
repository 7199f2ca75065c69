#!/bin/bash
# Builds the libFuzzer targets of tests/fuzz with clang, runs each for a
# bounded time and prints, per target, the executions, the coverage reached
# (cov: code edges, ft: features, from libFuzzer's final lines) and the crashes.
# Exits non-zero when a target crashed or one of its properties failed.
#
#   tools/fuzz.sh                 60 s per target
#   tools/fuzz.sh --short         5 s per target (run by tools/test-all.sh)
#   tools/fuzz.sh --seconds N     N s per target
#   tools/fuzz.sh --jobs N        N targets side by side (default: one per core)
#   tools/fuzz.sh ini_int ...     only the targets named
#
# The build goes to $BUILD_DIR/fuzz (build/fuzz by default). The seeds in
# tests/fuzz/corpus/<target> are only read; what a run finds is kept in
# build/fuzz/corpus/<target> and grows from run to run. A crash leaves its
# input in build/fuzz/crashes/<target>/; replay it with
#   build/fuzz/<target> build/fuzz/crashes/<target>/crash-...
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build}/fuzz
seconds=60
jobs=$(nproc)
targets=()
while [ $# -gt 0 ]; do
  case "$1" in
    --short) seconds=5 ;;
    --seconds) seconds=${2:?--seconds needs a number}; shift ;;
    --jobs) jobs=${2:?--jobs needs a number}; shift ;;
    -h|--help) sed -n '2,/^set -e/p' "$0" | sed '$d; s/^# \{0,1\}//'; exit 0 ;;
    -*) echo "fuzz.sh: unknown option $1" >&2; exit 2 ;;
    *) targets+=("$1") ;;
  esac
  shift
done
if [ ${#targets[@]} -eq 0 ]; then
  # Every target has a seed folder of its own name.
  for dir in "$root"/tests/fuzz/corpus/*/; do targets+=("$(basename "$dir")"); done
fi

if ! command -v clang++-14 >/dev/null; then
  echo "fuzz.sh: clang++-14 is missing; tools/setup-debian.sh installs it" >&2
  exit 2
fi

echo "== fuzz targets: build"
CC=clang-14 CXX=clang++-14 "$root/tools/configure.sh" "$root/tests/fuzz" "$build" >/dev/null
cmake --build "$build" -j "$jobs" >/dev/null

run_target() {
  local t=$1
  mkdir -p "$build/corpus/$t" "$build/crashes/$t"
  # Crash files of earlier runs stay for replay but count only for their own run.
  touch "$build/$t.start"
  local rc=0
  UBSAN_OPTIONS=print_stacktrace=1 "$build/$t" -max_total_time="$seconds" -print_final_stats=1 \
    -timeout=10 -rss_limit_mb=2048 -max_len=4096 -artifact_prefix="$build/crashes/$t/" \
    "$build/corpus/$t" "$root/tests/fuzz/corpus/$t" >"$build/$t.log" 2>&1 || rc=$?
  echo "$rc" >"$build/$t.rc"
}

echo "== fuzz targets: ${seconds} s each, ${jobs} at a time"
running=0
for t in "${targets[@]}"; do
  if [ ! -x "$build/$t" ] || [ ! -d "$root/tests/fuzz/corpus/$t" ]; then
    echo "fuzz.sh: no target $t" >&2
    exit 2
  fi
  rm -f "$build/$t.rc"
  run_target "$t" &
  running=$((running + 1))
  if [ "$running" -ge "$jobs" ]; then wait -n || true; running=$((running - 1)); fi
done
wait

failed=0
printf '%-18s %12s %7s %7s %7s %8s\n' target executions cov ft corpus crashes
for t in "${targets[@]}"; do
  log=$build/$t.log
  rc=$(cat "$build/$t.rc" 2>/dev/null || echo 1)
  execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  # libFuzzer's last status line, "#N DONE cov: C ft: F corp: K/..." or the last before a crash.
  status=$(grep -E '^#[0-9]+.* cov: ' "$log" | tail -1 || true)
  cov=$(sed -n 's/.* cov: \([0-9]*\).*/\1/p' <<<"$status")
  ft=$(sed -n 's/.* ft: \([0-9]*\).*/\1/p' <<<"$status")
  corp=$(sed -n 's/.* corp: \([0-9]*\)\/.*/\1/p' <<<"$status")
  crashes=$(find "$build/crashes/$t" -type f -newer "$build/$t.start" | wc -l)
  if [ "$rc" != 0 ] && [ "$crashes" -eq 0 ]; then crashes="rc=$rc"; fi
  printf '%-18s %12s %7s %7s %7s %8s\n' "$t" "${execs:-?}" "${cov:-?}" "${ft:-?}" "${corp:-?}" "$crashes"
  if [ "$rc" != 0 ] || [ "$crashes" != 0 ]; then failed=1; fi
done

if [ "$failed" != 0 ]; then
  for t in "${targets[@]}"; do
    if [ "$(cat "$build/$t.rc" 2>/dev/null || echo 1)" != 0 ]; then
      echo "== $t failed (whole report in $build/$t.log):"
      grep -m1 -A6 -E 'property failed|runtime error|ERROR: (AddressSanitizer|LeakSanitizer|libFuzzer)' \
        "$build/$t.log" || tail -15 "$build/$t.log"
    fi
  done
  for t in "${targets[@]}"; do
    find "$build/crashes/$t" -type f -newer "$build/$t.start" -printf "crash input: %p\n"
  done
  echo "== fuzzing found a fault"
  exit 1
fi
echo "== fuzz targets: no crash"
