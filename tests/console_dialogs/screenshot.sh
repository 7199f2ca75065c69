#!/bin/bash
# Shows each dialog with sample contents and saves a picture of it, window
# frame included: the dialogs run in a Wine desktop of their own, where Wine
# draws the frames that no window manager draws on a bare X server.
# Usage: screenshot.sh BUILD_DIR OUT_FOLDER [DIALOG...]   (run under xvfb-run)
# DIALOG is settings, userinfo or about (the default: all three); settings1
# to settings3 show the settings dialog's other tabs.
set -euo pipefail
build=$1
out=$2
export WINEPREFIX="$build/wineprefix-dialogshots" WINEDEBUG=-all LANG=ru_RU.UTF-8 LC_ALL=ru_RU.UTF-8
if [ ! -f "$WINEPREFIX/.ready" ]; then
  WINEDLLOVERRIDES="mscoree,mshtml=" wineboot -i >/dev/null 2>&1 || true
  wineserver -w
  # Marlett draws the caption buttons; without it they show as "0 1 r".
  cp /usr/share/wine/fonts/marlett.ttf "$WINEPREFIX/drive_c/windows/Fonts/" 2>/dev/null || true
  touch "$WINEPREFIX/.ready"
fi
work=$(mktemp -d)
# Drive E: holds the users' folder of the shipped configuration, E:\server\users\,
# which the user information dialog shows.
mkdir "$work/e"
ln -sfn "$work/e" "$WINEPREFIX/dosdevices/e:"
trap 'rm -f "$WINEPREFIX/dosdevices/e:"; rm -rf "$work"' EXIT
shift 2
dialogs=("$@")
[ ${#dialogs[@]} -gt 0 ] || dialogs=(settings userinfo about)
for which in "${dialogs[@]}"; do
  rect="$work/$which.rect"
  wine explorer /desktop=dialogshots,1280x1024 "$build/bin/console_dialogs_tests.exe" --show "$which" \
    "$(winepath -w "$rect")" &
  for _ in $(seq 100); do [ -s "$rect" ] && break; sleep 0.1; done
  sleep 2.5
  read -r left top width height < "$rect"
  xwd -root -silent | convert xwd:- -crop "${width}x${height}+${left}+${top}" +repage "$out/dialog-$which.png"
  wait
done
