#!/bin/bash
# Builds the release: the plug-in and the console for x86 and x64, the help
# file, then the ZIP (both architectures), the x64 MSI and the commands that
# run it (dialgate-msi.cmd). They are made in a staging folder and checked
# there (tools/check-release.sh: CR LF text, the same files in the ZIP and
# the MSI); only a release that passes lands in out/release/, listed with its
# sizes, and a failed one leaves out/release/ empty.
# A version is released once: the script refuses a version below the last
# release tag (v1.2.3), or equal to it on another commit.
# Build folders go to build/ unless BUILD_DIR says otherwise.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build}
out=$root/out/release
stage=$build/release-stage
jobs=$(nproc)

rm -rf "$out"
version=$(sed -n 's/^project(dialgate VERSION \([0-9.]*\).*/\1/p' "$root/CMakeLists.txt")
last=$(git -C "$root" tag -l 'v[0-9]*' | sed 's/^v//' | sort -V | tail -n 1)
if [ -n "$last" ]; then
  if [ "$(printf '%s\n%s\n' "$last" "$version" | sort -V | tail -n 1)" != "$version" ]; then
    echo "version $version is below the last release $last: raise it in CMakeLists.txt" >&2
    exit 1
  fi
  if [ "$last" = "$version" ] && [ "$(git -C "$root" rev-parse "v$version^{commit}")" != "$(git -C "$root" rev-parse HEAD)" ]; then
    echo "$version was released from another commit (tag v$version): raise the version in CMakeLists.txt" >&2
    exit 1
  fi
fi

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

echo "== ZIP, and the check of both packages"
rm -rf "$stage"
mkdir -p "$stage"
(cd "$build/release-x64" && cpack -G ZIP -B "$stage/cpack" >/dev/null)
zip=dialgate-$version-windows.zip
msi=dialgate-$version-x64.msi
mv "$stage/cpack/$zip" "$stage/"
rm -rf "$stage/cpack"
cp "$build/release-x64/packages/$msi" "$build/release-x64/packages/dialgate-msi.cmd" "$stage/"
"$root/tools/check-release.sh" "$stage/$zip" "$stage/$msi" "$stage/dialgate-msi.cmd"

mkdir -p "$out"
mv "$stage"/* "$out/"
rmdir "$stage"
echo "== release $version in ${out#$root/}/ (tag it: git tag v$version)"
(cd "$out" && ls -l --time-style=+ . | awk 'NR > 1 { printf "%10d  %s\n", $5, $NF }')
echo "== contents of $zip"
cmake -E tar tvf "$out/$zip" | awk '$1 !~ /^d/ { printf "%10s  %s\n", $5, $NF }'
