#!/bin/bash
# Builds the release: the plug-in and the console for x86 and x64, the help
# file, then the ZIP (both architectures) and the x64 MSI, into out/release/,
# checks that the ZIP's text files end their lines in CR LF, and lists them
# with their sizes. Build folders go to build/ unless BUILD_DIR says otherwise.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build}
out=$root/out/release
jobs=$(nproc)

"$root/tools/setup-debian.sh"

echo "== x86 plug-in and console"
"$root/tools/configure.sh" "$root" "$build/release-x86" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686.cmake" \
      -DCMAKE_BUILD_TYPE=Release -DDIALGATE_TESTS=OFF >/dev/null
cmake --build "$build/release-x86" -j "$jobs" --target dialgate portwatch

echo "== x64 programs, help file and MSI"
"$root/tools/configure.sh" "$root" "$build/release-x64" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-x86_64.cmake" \
      -DCMAKE_BUILD_TYPE=Release -DDIALGATE_TESTS=OFF \
      -DDIALGATE_X86_DLL="$build/release-x86/bin/dialgate.dll" \
      -DDIALGATE_X86_CONSOLE="$build/release-x86/bin/portwatch.exe" >/dev/null
cmake --build "$build/release-x64" -j "$jobs"

echo "== ZIP"
(cd "$build/release-x64" && cpack -G ZIP >/dev/null)

version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/release-x64/CMakeCache.txt")
zip="$build/release-x64/packages/dialgate-$version-windows.zip"
msi="$build/release-x64/packages/dialgate-$version-x64.msi"
rm -rf "$out"
mkdir -p "$out"
cp "$zip" "$msi" "$out/"

# Notepad before Windows Server 2019 shows a text with bare LF line ends as one line.
unpacked=$(mktemp -d)
(cd "$unpacked" && cmake -E tar xf "$zip")
lf_only=$(find "$unpacked" -type f \( -name '*.md' -o -name '*.ini' -o -name '*.txt' \) -print0 |
  xargs -0 -r env LC_ALL=C grep -lv $'\r$' || true)
rm -rf "$unpacked"
if [ -n "$lf_only" ]; then
  echo "text files with LF-only line ends in the ZIP: $lf_only" >&2
  exit 1
fi

echo "== release in ${out#$root/}/"
(cd "$out" && ls -l --time-style=+ . | awk 'NR > 1 { printf "%10d  %s\n", $5, $NF }')
echo "== contents of $(basename "$zip")"
cmake -E tar tvf "$out/$(basename "$zip")" | awk '$1 !~ /^d/ { printf "%10s  %s\n", $5, $NF }'
