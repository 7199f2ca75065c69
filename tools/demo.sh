#!/bin/bash
# Shows the system's main job end to end under Wine, in about two minutes:
# the shipped dialgate.dll loaded by the remote-access stand-in (service
# RemoteAccess), portwatch.exe watching it, one caller who dials in, registers,
# gets an FTP account and is disconnected when the limit runs out.
#
# Usage (Debian 12, as root, from anywhere): tools/demo.sh
# Installs what is missing, builds what the demonstration needs into
# build/win64, uses a Wine prefix of its own (build/demo/wineprefix) and
# leaves screenshots, the log, users.ini and a summary in out/demo/.
# The console appears on $DISPLAY when it is set, else on a private Xvfb.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build}/win64
prefix=${DEMO_PREFIX:-$root/build/demo/wineprefix}
out=${DEMO_OUT:-$root/out/demo}

if [ -z "${DG_DEMO_SHOWING:-}" ]; then
  "$root/tools/setup-debian.sh"
  echo "== building the programs the demonstration needs ($build)"
  "$root/tools/configure.sh" "$root" "$build" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-x86_64.cmake" \
        -DCMAKE_BUILD_TYPE=Release >/dev/null
  cmake --build "$build" -j "$(nproc)" \
        --target dialgate portwatch rasstandin mprapi_standin testsvc uidriver qv_admin_chm bench_report >/dev/null
  export DG_DEMO_SHOWING=1
  if [ -z "${DISPLAY:-}" ]; then
    exec xvfb-run -a -s "-screen 0 1280x1024x24" "$0" "$@"
  fi
fi

export WINEPREFIX="$prefix" WINEDEBUG=-all LANG=ru_RU.UTF-8 LC_ALL=ru_RU.UTF-8
bin=$build/bin
app=$prefix/drive_c/dialgate        # the administrator's folder, C:\dialgate\
tools=$prefix/drive_c/standin       # what stands in for the server, C:\standin\
started=$(date +%s)

say() { printf '[%s +%3ss] %s\n' "$(date +%T)" "$(( $(date +%s) - started ))" "$*"; }
ui() { wine "$tools/uidriver.exe" "$@" 2>/dev/null | tr -d '\r'; }
field() { ui text "$1" || true; }
# Today's log as UTF-8 without CRs; the date as the plug-in writes it (Russian locale).
today=$(date +%d.%m.%Y)
logfile=$app/logs/${today}_log.txt
log_text() { [ -f "$logfile" ] && iconv -f CP1251 -t UTF-8 "$logfile" | tr -d '\r' || true; }

echo "== Wine prefix $prefix"
if [ -d "$prefix" ]; then
  # A run that was cut short may have left the console and services running.
  wineserver -k 2>/dev/null || true
  wineserver -w 2>/dev/null || true
fi
"$root/tools/wine-run.sh" "$prefix" cmd /c exit >/dev/null 2>&1
# Every window of the prefix in one Wine desktop, the size of the screen:
# Wine draws the windows' frames there, which no window manager draws on a bare
# X server, so the screenshots show whole windows; the tray icon sits in the
# desktop's task bar. Marlett draws the caption buttons.
wine reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d demo /f >/dev/null 2>&1
wine reg add 'HKCU\Software\Wine\Explorer\Desktops' /v demo /d 1280x1024 /f >/dev/null 2>&1
cp /usr/share/wine/fonts/marlett.ttf "$prefix/drive_c/windows/Fonts/" 2>/dev/null || true

# Wine ends services with the last ordinary Wine process: keep one alive.
exec 7> >(wine cmd >/dev/null 2>&1)
keepalive_closed=
finish() {
  if [ -z "$keepalive_closed" ]; then
    ui close >/dev/null 2>&1 || true
    exec 7>&-
    keepalive_closed=1
  fi
}
trap finish EXIT

echo "== laying out C:\\dialgate\\ as an administrator would"
rm -rf "$app" "$tools" "$out"
mkdir -p "$app/users" "$app/logs" "$app/ftp/root/upload" "$tools/events" "$out"
cp "$bin/dialgate.dll" "$bin/portwatch.exe" "$bin/qv_admin.chm" "$app/"
cp "$bin/rasstandin.exe" "$bin/mprapi.dll" "$bin/testsvc.exe" "$bin/uidriver.exe" "$tools/"
cp "$bin/bench_report.exe" "$tools/"  # writes the earlier days' logs for the report's month
# The shipped sample configuration with this machine's folders.
cp "$root/packaging/qv_config.ini" "$app/qv_config.ini"
set_key() {
  K=$1 V=$2 awk 'BEGIN { k = ENVIRON["K"]; v = ENVIRON["V"] }
                 index($0, k "=") == 1 { print k "=" v "\r"; next } { print }' \
    "$app/qv_config.ini" > "$app/qv_config.ini.new"
  mv "$app/qv_config.ini.new" "$app/qv_config.ini"
}
set_key USERS_FOLDER 'C:\dialgate\users\'
set_key FILE_WITH_TIME 'C:\dialgate\time.txt'
set_key LOG_PATH 'C:\dialgate\logs\'
set_key FTP_INI_FILE 'C:\dialgate\ftp\users.ini'
set_key FTP_DEF_ROOT 'C:\dialgate\ftp\root\'
set_key FTP_DEF_UPLOAD 'C:\dialgate\ftp\root\upload\'
set_key TIME_FOR_REG 1
set_key DISABLE_CHECK_WORK_TIME 1
for key in USERS_FOLDER FILE_WITH_TIME LOG_PATH FTP_INI_FILE TIME_FOR_REG DISABLE_CHECK_WORK_TIME; do
  say "qv_config.ini: $(grep -a "^$key=" "$app/qv_config.ini" | tr -d '\r')"
done

echo "== services: RemoteAccess (stand-in), bpftpserver and Apache2 (test services)"
for svc in bpftpserver Apache2; do
  wine "$tools/testsvc.exe" remove "$svc" >/dev/null 2>&1 || true
  wine "$tools/testsvc.exe" install "$svc" "C:\\standin\\events\\$svc.txt"
done
wine "$tools/rasstandin.exe" remove >/dev/null 2>&1 || true
wine "$tools/rasstandin.exe" install
wine "$tools/rasstandin.exe" register 'C:\dialgate\dialgate.dll' dialgate
wine net start bpftpserver >/dev/null 2>&1 || true
say "installed; bpftpserver started, RemoteAccess and Apache2 stopped"

shot_no=0
shoot() {  # shoot NAME [CLASS]: the console window (or its window of that class) as it is on the screen
  local name=$1 left top width height
  shot_no=$((shot_no + 1))
  read -r left top width height < <(if [ -n "${2:-}" ]; then ui --class "$2" rect; else ui rect; fi)
  local file
  file=$(printf '%s/%02d-%s.png' "$out" "$shot_no" "$name")
  if xwd -root -silent | convert xwd:- -crop "${width}x${height}+${left}+${top}" +repage "$file" 2>/dev/null; then
    say "screenshot $(basename "$file")"
    shots+=("$(basename "$file")")
  else
    say "screenshot $name failed"
  fi
}
shots=()
stages=()
stage() { stages+=("$(printf '+%3ss  %s' "$(( $(date +%s) - dial_at ))" "$*")"); say "STAGE: $*"; }

echo "== the console"
( cd "$app" && exec wine portwatch.exe >/dev/null 2>&1 ) &
for _ in $(seq 150); do [ -n "$(field 305)" ] && break; sleep 0.2; done
[ -n "$(field 305)" ] || { echo "the console did not come up" >&2; exit 1; }
ui tray 514 >/dev/null  # a left click on the tray icon shows the window
sleep 1
say "console up: $(field 304) | $(field 305) | $(field 310)"

ui menu 113 >/dev/null  # Дополнительно > RAS-SERVER > Запустить
ui menu 109 >/dev/null  # Дополнительно > WEB-SERVER > Запустить
ui wait 304 "RAS сервер: включен" 20000 || { echo "RemoteAccess did not start" >&2; exit 1; }
for _ in $(seq 100); do log_text | grep -q 'MprAdminInitializeDll' && break; sleep 0.2; done
say "$(field 304) — the plug-in is loaded:"
log_text | sed 's/^/    log| /'
shown_lines=$(log_text | wc -l)
shoot idle

# Prints log lines that arrived since the last call.
new_log() {
  local text count
  text=$(log_text)
  count=$(printf '%s\n' "$text" | wc -l)
  if [ "$count" -gt "$shown_lines" ]; then
    printf '%s\n' "$text" | sed -n "$((shown_lines + 1)),${count}p" | grep -v '^$' | sed 's/^/    log| /' || true
    shown_lines=$count
  fi
}

echo "== a caller dials in"
dial_at=$(date +%s)
dial=$(wine "$tools/rasstandin.exe" dial --rx 10240 --tx 2048 | tr -d '\r')
say "rasstandin dial: $(echo "$dial" | grep connection)"
stage "dial: $(echo "$dial" | grep -o 'connection [0-9]*')"

record_at=$((dial_at + 6))
recorded= account= shot_reg= shot_user= shot_late= hung=
last_countdown=
while [ $(( $(date +%s) - dial_at )) -lt 120 ]; do
  countdown=$(field 310)
  if [ "$countdown" != "$last_countdown" ]; then
    say "console: $countdown | $(field 306) | $(field 307) | $(field 308) | $(field 305)"
    last_countdown=$countdown
  fi
  new_log
  now=$(date +%s)
  if [ -z "$shot_reg" ] && [[ $countdown == "До отключения осталось: "* ]]; then
    stage "registration window counts down: $countdown"
    sleep 2
    shoot registration
    shot_reg=1
  fi
  if [ -z "$recorded" ] && [ "$now" -ge "$record_at" ]; then
    # The registration site: the caller's profile, then the current user's record.
    printf 'Иван Петров, 19 лет, МГУ.\r\nЗарегистрирован через сайт в %s.\r\n' "$(date +%T)" |
      iconv -f UTF-8 -t CP1251 > "$app/users/_ivan_petrov.txt"
    printf 'ivan_petrov\r\nqwerty12\r\n1\r\nИван\r\nПетров\r\n19\r\nМГУ\r\n5551234\r\nivan@example.org\r\n123456\r\n' |
      iconv -f UTF-8 -t CP1251 > "$app/users/current.user"
    stage "the site wrote users\\current.user (limit 1 minute) and users\\_ivan_petrov.txt"
    recorded=1
  fi
  if [ -n "$recorded" ] && [ -z "$account" ] && log_text | grep -q 'FTP сервер запускается'; then
    stage "FTP account written between a stop and a start of bpftpserver"
    account=1
  fi
  if [ -n "$account" ] && [ -z "$shot_user" ] && [[ $(field 306) == "НИК: ivan_petrov" ]]; then
    sleep 1
    stage "the console shows the caller: $(field 306), $(field 308), $(field 310)"
    shoot connected
    shot_user=1
  fi
  if [ -n "$shot_user" ] && [ -z "$shot_late" ] && [ $((now - dial_at)) -ge 50 ]; then
    shoot last-seconds
    shot_late=1
  fi
  if log_text | grep -q 'Произошло отключение пользователя от интерфейса'; then
    new_log
    stage "the plug-in disconnected the port; the stand-in delivered the hang-up"
    hung=$(date +%s)
    break
  fi
  sleep 0.5
done
[ -n "$hung" ] || { echo "no hang-up within two minutes" >&2; exit 1; }

ui wait 310 "Юзеры отключены" 5000 || true
ui wait 306 "НИК:" 5000 || true
sleep 1
stage "console after the hang-up: $(field 310) | $(field 306) | $(field 307) | $(field 308)"
shoot after-hangup
cleared=yes
for f in users/current.user time.txt users/current.userop; do
  [ -e "$app/$f" ] && cleared="no ($f still there)"
done
stage "shared files cleared: $cleared"

# The day's connections, read back from the log: the caller's row.
ui menu 119 >/dev/null  # Дополнительно > Соединения за день...
for _ in $(seq 50); do [ -n "$(ui --class TForm5 text 1505)" ] && break; sleep 0.2; done
sleep 1
stage "day's connections: $(ui --class TForm5 text 1505)"
shoot_report() {  # shoot_report NAME: the report's client area; without a window manager its frame is not drawn
  local left top width height file
  shot_no=$((shot_no + 1))
  file=$(printf '%02d-%s.png' "$shot_no" "$1")
  read -r left top width height < <(ui --class TForm5 clientrect)
  xwd -root -silent | convert xwd:- -crop "${width}x${height}+${left}+${top}" +repage "$out/$file" &&
    shots+=("$file") && say "screenshot $file"
}
shoot_report day-report
ui --class TForm5 close >/dev/null

# The report over last month: forty days of an ordinary line's logs before
# today (one of them missing), as days by hours with the totals below.
wine "$tools/bench_report.exe" logs 'C:\dialgate\logs\' 40 >/dev/null
ui menu 119 >/dev/null
month_day=$(date -d "$(date +%Y-%m-01) -1 day" +%d.%m.%Y)
for _ in $(seq 50); do ui --class TForm5 choose 1501 "$month_day" >/dev/null && break; sleep 0.2; done
ui --class TForm5 menu 1508 >/dev/null  # месяц
for _ in $(seq 100); do
  month_status=$(ui --class TForm5 text 1517)
  [ -n "$month_status" ] && [[ $month_status != *"читается"* ]] && break
  sleep 0.2
done
sleep 1
stage "last month in the report: $month_status"
shoot_report month-report
ui --class TForm5 close >/dev/null

echo "== stopping RemoteAccess: the plug-in is unloaded"
ui menu 114 >/dev/null  # Дополнительно > RAS-SERVER > Остановить
ui wait 304 "RAS сервер: выключен" 40000 || true
for _ in $(seq 50); do log_text | grep -q 'MprAdminTerminateDll' && break; sleep 0.2; done
new_log
ui menu 110 >/dev/null  # WEB-SERVER > Остановить
wine net stop bpftpserver >/dev/null 2>&1 || true
finish
timeout 30 wineserver -w 2>/dev/null || true

cp "$logfile" "$out/${today}_log.txt"
log_text > "$out/${today}_log.utf8.txt"
cp "$app/ftp/users.ini" "$out/users.ini" 2>/dev/null || true
cp "$app/qv_config.ini" "$out/qv_config.ini"
for svc in bpftpserver Apache2; do cp "$tools/events/$svc.txt" "$out/$svc-events.txt" 2>/dev/null || true; done

# Milliseconds since 1601 (the events files) as local clock time.
clock() { date -d "@$(( $1 / 1000 - 11644473600 ))" +%T; }
{
  echo "Summary of the demonstration ($(date '+%F %T'), $(( $(date +%s) - started )) s in all)"
  echo
  echo "Connection: dialled at $(date -d "@$dial_at" +%T), hung up at $(date -d "@$hung" +%T)," \
       "$((hung - dial_at)) s for a limit of 1 minute counted from the dial"
  echo
  echo "Stages, seconds after the dial:"
  printf '  %s\n' "${stages[@]}"
  echo
  echo "Log lines of the connection:"
  log_text | grep -E 'Принято новое|Пришел пользователь|>LIMIT|FTP сервер|MprAdminPortDisconnect|отключен по окончании|Продолжительность|отключение пользователя' |
    sed 's/^/  /'
  echo
  echo "bpftpserver events:"
  while read -r ms event; do echo "  $(clock "$ms") $event"; done < "$out/bpftpserver-events.txt"
  echo
  echo "users.ini section:"
  tr -d '\r' < "$out/users.ini" | sed 's/^/  /'
  echo
  echo "Files in $out:"
  (cd "$out" && ls -1 | sed 's/^/  /')
} > "$out/summary.txt"
echo
cat "$out/summary.txt"
