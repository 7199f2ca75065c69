#!/bin/bash
# Builds everything and runs every test:
#   1. the x86 plug-in, whose version block the x86_64 tests read as data;
#   2. the Windows programs for x86_64, then their tests under Wine (and Xvfb
#      for windows). Those mostly wait, for Wine and for windows, so they run
#      in the background while
#   3. the rest of the x86 build, tests included, which must compile (there is
#      no 32-bit Wine here to run it), then the platform-free code built
#      natively with address and undefined-behaviour sanitizers and tested,
#      and the fuzz targets for a short while; all niced, so that the tests
#      under Wine keep their pace.
# At the end: how long each step and each test program took.
# Build folders go to build/ unless BUILD_DIR says otherwise.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build}
jobs=$(nproc)
mkdir -p "$build"
steps=$build/test-all-steps.txt
: >"$steps"

# Runs a step and notes how long it took.
timed() {
  local name=$1 start=$SECONDS status=0
  shift
  "$@" || status=$?
  echo "$((SECONDS - start)) $name" >>"$steps"
  return "$status"
}

# Each test program of the ctest logs given, slowest first: seconds, name, result.
program_times() {
  awk '/Test +#[0-9]+: / {
         for (i = 1; i < NF; i++) if ($i ~ /^#[0-9]+:$/) name = $(i + 1)
         result = $(NF - 2); sub(/^[.*]+/, "", result)
         printf "%8.1f s  %-32s %s\n", $(NF - 1), name, result
       }' "$@" | sort -rn
}

"$root/tools/setup-debian.sh"

echo "== Windows x86 plug-in"
"$root/tools/configure.sh" "$root" "$build/win32" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686.cmake" \
      -DCMAKE_BUILD_TYPE=Release >/dev/null
timed "x86 plug-in" cmake --build "$build/win32" -j "$jobs" --target dialgate

echo "== Windows x86_64 build"
"$root/tools/configure.sh" "$root" "$build/win64" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-x86_64.cmake" \
      -DCMAKE_BUILD_TYPE=Release -DDIALGATE_X86_DLL="$build/win32/bin/dialgate.dll" >/dev/null
timed "x86_64 build" cmake --build "$build/win64" -j "$jobs"

echo "== x86_64 tests under Wine, in the background (their output follows the native steps)"
wine_log=$build/win64-tests.log
wine_start=$SECONDS
xvfb-run -a -s "-screen 0 1280x1024x24" ctest --test-dir "$build/win64" --output-on-failure -j "$jobs" \
  >"$wine_log" 2>&1 &
wine_tests=$!

native_log=$build/native-tests.log
native_steps() {
  echo "== Windows x86 build, tests included (built, not run)" &&
    timed "x86 build, the rest" nice cmake --build "$build/win32" -j "$jobs" &&
    echo "== native build and tests (sanitizers)" &&
    "$root/tools/configure.sh" "$root" "$build/native" -DCMAKE_BUILD_TYPE=Debug >/dev/null &&
    timed "native build" nice cmake --build "$build/native" -j "$jobs" &&
    timed "native tests" ctest --test-dir "$build/native" --output-on-failure | tee "$native_log" &&
    echo "== fuzz targets, short run" &&
    timed "fuzz targets, short run" env BUILD_DIR="$build" nice "$root/tools/fuzz.sh" --short
}
native_status=0
native_steps || native_status=$?

wine_status=0
wait "$wine_tests" || wine_status=$?
echo "$((SECONDS - wine_start)) x86_64 tests under Wine (beside the x86 and native steps)" >>"$steps"
echo "== x86_64 tests under Wine"
cat "$wine_log"

echo "== how long each step took"
sort -rn "$steps" | awk '{ n = $1; $1 = ""; printf "%6d s %s\n", n, $0 }'
echo "== how long each test program took, native"
program_times "$native_log"
echo "== how long each test program took, under Wine"
program_times "$wine_log"

if [ "$native_status" -ne 0 ] || [ "$wine_status" -ne 0 ]; then
  echo "== FAILED: x86 and native steps $native_status, tests under Wine $wine_status"
  exit 1
fi
echo "== all builds done, all tests passed (${SECONDS} s)"
