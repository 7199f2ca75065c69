#!/bin/bash
# Configures a CMake build folder: Ninja when it is installed (it builds
# faster on a small machine), Makefiles otherwise. A folder configured before
# keeps the generator it was made with, since CMake refuses to change it.
#
#   tools/configure.sh SOURCE BUILD [cmake arguments...]
set -euo pipefail
source=$1 build=$2
shift 2
generator=()
if [ ! -f "$build/CMakeCache.txt" ] && command -v ninja >/dev/null; then
  generator=(-G Ninja)
fi
exec cmake "${generator[@]}" -S "$source" -B "$build" "$@"
