#!/bin/bash
# Shows the console during a made-up connection and saves a picture of it.
# Usage: screenshot.sh BUILD_DIR OUT.png   (run under xvfb-run)
set -euo pipefail
build=$1
out=$2
export WINEPREFIX="$build/wineprefix" WINEDEBUG=-all LANG=ru_RU.UTF-8 LC_ALL=ru_RU.UTF-8
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$build/bin/portwatch.exe" "$build/bin/uidriver.exe" "$work/"
mkdir "$work/users" "$work/logs"
win=$(winepath -w "$work")
printf '[PHP]\r\nUSERS_FOLDER=%s\\users\\\r\n[OPTIONS]\r\nFILE_WITH_TIME=%s\\time.txt\r\n[LOG]\r\nLOG_PATH=%s\\logs\\\r\n[GUI]\r\nDISABLE_CHECK_WORK_TIME=0\r\nTIME_BEGIN=0\r\nTIME_END=0\r\n' \
  "$win" "$win" "$win" > "$work/qv_config.ini"
printf '1742\r\n\r\n' > "$work/time.txt"
printf 'ivan_petrov\r\nqwerty12\r\n45\r\nИван\r\nПетров\r\n19\r\nМГУ\r\n5551234\r\nivan@example.org\r\n123456\r\n' |
  iconv -f UTF-8 -t CP1251 > "$work/users/current.user"
day=$(LANG=ru_RU.UTF-8 date +%d.%m.%Y)
{
  printf '[%s] : [22:59:58] - Принято новое подключение\r\n' "$day"
  printf '[%s] : [22:59:58] - ***Поток таймера запущен***\r\n' "$day"
  printf '[%s] : [22:59:59] - Подключен интерфейс\r\n\r\n' "$day"
  printf '[%s] : [23:00:41] - Пришел пользователь:\r\n' "$day"
  printf '>USER: ivan_petrov\r\n>PASS: qwerty12\r\n>LIMIT: 45\r\n\r\n'
  printf '[%s] : [23:00:41] - FTP сервер останавливается\r\n' "$day"
  printf '[%s] : [23:00:42] - Изменяем users.ini (создаем аккаунт для юзера) ...\r\n' "$day"
  printf '[%s] : [23:00:42] - FTP сервер запускается\r\n' "$day"
} | iconv -f UTF-8 -t CP1251 > "$work/logs/${day}_log.txt"
cd "$work"
wine portwatch.exe &
for _ in $(seq 50); do wine uidriver.exe text 310 >/dev/null 2>&1 && break; sleep 0.2; done
wine uidriver.exe wait 310 "До отключения осталось: 1742" 10000
wine uidriver.exe tray 514  # a left click on the tray icon
sleep 2
read -r left top width height < <(wine uidriver.exe rect | tr -d '\r')
xwd -root -silent | convert xwd:- -crop "${width}x${height}+${left}+${top}" +repage -trim +repage "$out"
wine uidriver.exe close
wait
