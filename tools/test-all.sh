#!/bin/bash
# Builds everything and runs every test:
#   1. the platform-free code natively, with address and undefined-behaviour sanitizers;
#   2. the x86 build, tests included, which must compile (there is no 32-bit
#      Wine here to run it); before the x86_64 build, whose tests read the x86
#      plug-in's version block as data;
#   3. the Windows programs for x86_64, their tests under Wine (and Xvfb for windows).
# Build folders go to build/ unless BUILD_DIR says otherwise.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build}
jobs=$(nproc)

"$root/tools/setup-debian.sh"

echo "== native build and tests (sanitizers)"
"$root/tools/configure.sh" "$root" "$build/native" -DCMAKE_BUILD_TYPE=Debug >/dev/null
cmake --build "$build/native" -j "$jobs"
ctest --test-dir "$build/native" --output-on-failure

# --- fuzzing: a bounded libFuzzer run of the parsers that meet outside text (tests/fuzz) ---
echo "== fuzz targets, short run"
BUILD_DIR="$build" "$root/tools/fuzz.sh" --short
# --- end of fuzzing ---

echo "== Windows x86 build, tests included (built, not run)"
"$root/tools/configure.sh" "$root" "$build/win32" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686.cmake" \
      -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build/win32" -j "$jobs"

echo "== Windows x86_64 build, tests under Wine"
"$root/tools/configure.sh" "$root" "$build/win64" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-x86_64.cmake" \
      -DCMAKE_BUILD_TYPE=Release -DDIALGATE_X86_DLL="$build/win32/bin/dialgate.dll" >/dev/null
cmake --build "$build/win64" -j "$jobs"
xvfb-run -a -s "-screen 0 1280x1024x24" ctest --test-dir "$build/win64" --output-on-failure -j "$jobs"

echo "== all builds done, all tests passed"
