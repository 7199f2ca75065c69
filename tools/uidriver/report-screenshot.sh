#!/bin/bash
# Shows the connections report on a year of an ordinary line's logs and saves
# pictures of it: the week (one strip a day), the month (days by hours), the
# totals per login, and the year (several days to a row).
# Usage: report-screenshot.sh BUILD_DIR OUT_FOLDER [DPI]   (run under xvfb-run)
# It uses a Wine prefix of its own per DPI (BUILD_DIR/report-shots-DPI), as
# the working-hours watch is on (its hours shaded) and the DPI is set there.
set -euo pipefail
build=$(cd "$1" && pwd)
mkdir -p "$2"
out=$(cd "$2" && pwd)
dpi=${3:-96}
prefix=$build/report-shots-$dpi
export WINEDEBUG=-all LANG=ru_RU.UTF-8 LC_ALL=ru_RU.UTF-8 WINEPREFIX=$prefix
"$(dirname "$0")/../wine-run.sh" "$prefix" cmd /c exit >/dev/null 2>&1
wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$dpi" /f >/dev/null 2>&1
# Wine draws the windows' frames and captions itself: there is no window manager.
wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f >/dev/null 2>&1
# Its caption buttons need Marlett (Debian's fonts-wine), or they read "0 1 r".
cp /usr/share/wine/fonts/marlett.ttf "$prefix/drive_c/windows/Fonts/" 2>/dev/null || true
wineserver -w

work=$(mktemp -d)
trap 'wine "$work/uidriver.exe" close >/dev/null 2>&1 || true; rm -rf "$work"' EXIT
cp "$build/bin/portwatch.exe" "$build/bin/uidriver.exe" "$build/bin/bench_report.exe" "$work/"
mkdir "$work/users" "$work/logs"
win=$(winepath -w "$work")
# The watch on, from 23 to 7: no RemoteAccess is installed in this prefix, so it acts on nothing.
printf '[PHP]\r\nUSERS_FOLDER=%s\\users\\\r\n[OPTIONS]\r\nFILE_WITH_TIME=%s\\time.txt\r\n[LOG]\r\nLOG_PATH=%s\\logs\\\r\n[GUI]\r\nDISABLE_CHECK_WORK_TIME=0\r\nTIME_BEGIN=23\r\nTIME_END=7\r\n' \
  "$win" "$win" "$win" > "$work/qv_config.ini"
(cd "$work" && wine bench_report.exe logs "$win\\logs\\" 365 >/dev/null)

ui() { wine "$work/uidriver.exe" "$@" 2>/dev/null | tr -d '\r'; }
report() { ui --class TForm5 "$@"; }
loaded() {  # waits until the status line no longer says it is reading
  for _ in $(seq 100); do
    status=$(report text 1517 || true)
    [ -n "$status" ] && [[ $status != *"читается"* ]] && return 0
    sleep 0.2
  done
}
shoot() {
  sleep 1
  local left top width height
  read -r left top width height < <(report rect)
  xwd -root -silent | convert xwd:- -crop "${width}x${height}+${left}+${top}" +repage "$out/$1"
  echo "$out/$1"
}

cd "$work"
wine portwatch.exe &
for _ in $(seq 100); do ui text 305 >/dev/null 2>&1 && break; sleep 0.2; done
ui menu 119 >/dev/null  # Дополнительно > Соединения за день...
for _ in $(seq 50); do report text 1517 >/dev/null 2>&1 && break; sleep 0.2; done
loaded
# A week a fortnight ago, then the month before this one.
week_day=$(LANG=ru_RU.UTF-8 date -d '14 days ago' +%d.%m.%Y)
month_day=$(LANG=ru_RU.UTF-8 date -d "$(date +%Y-%m-01) -1 day" +%d.%m.%Y)
report choose 1501 "$week_day" >/dev/null || true
report menu 1507 >/dev/null  # неделя
loaded
shoot "report-week-$dpi.png"
report choose 1501 "$month_day" >/dev/null || true
report menu 1508 >/dev/null  # месяц
loaded
shoot "report-month-$dpi.png"
report menu 1512 >/dev/null  # Итоги по логинам
shoot "report-logins-$dpi.png"
# The year: from the oldest day to today.
report menu 1511 >/dev/null  # Соединения
report choose 1501 "$(LANG=ru_RU.UTF-8 date -d '365 days ago' +%d.%m.%Y)" >/dev/null || true
report menu 1509 >/dev/null  # по
loaded
shoot "report-year-$dpi.png"
