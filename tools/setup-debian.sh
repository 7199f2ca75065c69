#!/bin/bash
# Installs, on Debian 12 as root, whatever building, testing and showing the
# system needs and is not there yet. Safe to run again.
set -euo pipefail

packages=(
  cmake make ninja-build g++ git
  g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix binutils-mingw-w64-x86-64 binutils-mingw-w64-i686
  googletest
  wine wine64 fonts-wine
  xvfb xauth x11-apps imagemagick x11-utils
  locales
  fp-utils
  wixl msitools
  clang-14 libclang-rt-14-dev
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

# Wine takes its code page and date formats from the host's Russian locale.
if ! locale -a 2>/dev/null | grep -qi '^ru_RU.utf8$'; then
  localedef -i ru_RU -f UTF-8 ru_RU.UTF-8
fi
