#!/bin/sh
# Runs a Windows program under Wine in the given prefix, creating the prefix on
# first use. Usage: wine-run.sh [--unmanaged] PREFIX PROGRAM [ARGS...]
# The locale is Russian unless DG_WINE_LANG names another one (LANG=C gives
# the slashed dates that some tests need).
# --unmanaged (the tests' prefix): Wine's windows are not left to a window
# manager. A bare Xvfb has none, and Wine waits 2 s for one whenever a managed
# window is hidden or closed (a dialog, the console, the tray icon's window).
set -e
unmanaged=
if [ "$1" = --unmanaged ]; then
  unmanaged=1
  shift
fi
prefix=$1
shift
# Wine keeps the user's date formats in the prefix and rewrites them when a
# program starts under another locale, which would change the dates that
# tests running at the same moment see: another locale gets a prefix of its own.
if [ -n "${DG_WINE_LANG:-}" ]; then
  prefix="$prefix-${DG_WINE_LANG%%.*}"
fi
export WINEPREFIX="$prefix"
export WINEDEBUG="${WINEDEBUG:--all}"
export LANG="${DG_WINE_LANG:-ru_RU.UTF-8}"
export LC_ALL="$LANG"

mkdir -p "$(dirname "$prefix")"
# Several tests may start at once; only one of them builds the prefix.
exec 9>"$prefix.lock"
flock 9
if [ ! -f "$prefix/.ready" ]; then
  # Only a prefix that an earlier run left half made goes: never a file, nor
  # a folder of something else that a mistaken argument named.
  if [ -e "$prefix" ] && { [ ! -d "$prefix" ] ||
       { [ -n "$(ls -A "$prefix")" ] && [ ! -e "$prefix/system.reg" ] && [ ! -d "$prefix/drive_c" ]; }; }; then
    echo "wine-run.sh: $prefix is not a Wine prefix; not touching it" >&2
    exit 2
  fi
  rm -rf "$prefix"
  WINEDLLOVERRIDES="mscoree,mshtml=" wineboot -i >/dev/null 2>&1 || true
  # Until the first boot has settled, services and the tray are not usable.
  wineserver -w
  touch "$prefix/.ready"
fi
if [ -n "$unmanaged" ] && [ ! -f "$prefix/.unmanaged" ]; then
  wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
  touch "$prefix/.unmanaged"
fi
flock -u 9
exec 9>&-

# The first program of a Wine server starts the server and the prefix's own
# processes, which inherit its standard error and keep it open until the
# server ends. Under ctest that holds the test, which is done only when its
# output closes, until every later test of the prefix has ended too. So the
# program's errors go to a file, and are handed on when it ends.
errors=$(mktemp)
status=0
wine "$@" 2>"$errors" || status=$?
cat "$errors" >&2
rm -f "$errors"
exit $status
