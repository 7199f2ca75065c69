#!/bin/sh
# Prints the performance table of dialgate.dll and portwatch.exe under Wine:
# builds what is missing, runs the benchmarks (about eight minutes: the
# countdown's minute, the console's log view by log size), each figure beside
# its yardstick measured in the same run. Not part of the tests.
#
#   tools/bench.sh [BUILD_DIR]       default build/bench; the raw output goes to BUILD_DIR/bench.log
#
# Give it the machine: the figures move with whatever else runs. The console's
# figures need the prefix's Wine server to have a display: no other program
# of BUILD_DIR's prefix may be running when it starts.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(mkdir -p "${1:-$root/build/bench}" && cd "${1:-$root/build/bench}" && pwd)
if [ ! -f "$build/CMakeCache.txt" ]; then
  "$root/tools/configure.sh" "$root" "$build" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-x86_64.cmake" \
        -DCMAKE_BUILD_TYPE=Release >/dev/null
fi
cmake --build "$build" -j2 --target dialgate dialgate_fast mprapi_standin portwatch rasstandin bench_gate \
      bench_console >/dev/null

prefix="$build/wineprefix"
bin="$build/bin"
raw="$build/bench.log"
: >"$raw"
run() { WINEDLLOVERRIDES=mprapi=n,b "$root/tools/wine-run.sh" "$prefix" "$@"; }
# The console needs a display; an existing one is used as it is.
if [ -n "${DISPLAY:-}" ]; then gui() { run "$@"; }; else gui() { xvfb-run -a -s "-screen 0 1280x1024x24" "$root/tools/wine-run.sh" "$prefix" "$@"; }; fi
say() { tee -a "$raw"; }

cd "$bin"
echo "== bench_gate log" >>"$raw";      logout=$(run bench_gate.exe log | tr -d '\r' | say)
echo "== bench_gate hangup" >>"$raw";   hang=$(run bench_gate.exe hangup 500 | tr -d '\r' | say)
echo "== bench_gate kill" >>"$raw";     kill=$(run bench_gate.exe kill 500 | tr -d '\r' | say)
echo "== bench_gate drift" >>"$raw";    drift=$(run bench_gate.exe drift 60 | tr -d '\r' | say)
echo "== bench_console" >>"$raw";       cons=$(gui bench_console.exe | tr -d '\r' | say)

# The stand-in host with the shipped plug-in registered, idle and with one caller on the line.
host="$build/bench-host"
rm -rf "$host" && mkdir -p "$host/users" "$host/LOGS"
cp dialgate.dll "$host/"
w=$(echo "Z:$host" | tr / '\\')
printf '[PHP]\r\nUSERS_FOLDER=%s\\users\\\r\n[OPTIONS]\r\nFILE_WITH_TIME=%s\\time.txt\r\nTIME_FOR_REG=5\r\n[LOG]\r\nLOG_PATH=%s\\LOGS\\\r\n[FTP]\r\nFTP_ACCOUNTING_ENABLED=0\r\n' \
  "$w" "$w" "$w" >"$host/qv_config.ini"
echo "== rasstandin" >>"$raw"
run rasstandin.exe register "$w\\dialgate.dll" >>"$raw" 2>&1
(sleep 40 | run rasstandin.exe console >>"$raw" 2>&1 &)
sleep 6
hostidle=$(run bench_gate.exe procmem rasstandin.exe | tr -d '\r' | say)
run rasstandin.exe dial >>"$raw" 2>&1 || true
sleep 3
hostcall=$(run bench_gate.exe procmem rasstandin.exe | tr -d '\r' | say)
id=$(grep -o 'connection [0-9]*' "$raw" | tail -1 | cut -d' ' -f2)
run rasstandin.exe hangup "${id:-1}" >>"$raw" 2>&1 || true
run rasstandin.exe quit >>"$raw" 2>&1 || true

num() { grep -o "$2 [-+0-9.]*" <<EOF2 | head -1 | awk '{print $NF}'
$1
EOF2
}
pick() { echo "$1" | grep "$2" | head -1; }

lw=$(pick "$logout" '^LogWrite'); pl=$(pick "$logout" '^plain')
rates() { echo "$1" | sed 's/.*[a-z)] \{2,\}\([0-9]*\) \{2,\}\([0-9]*\) .*lost: \([0-9]*\), \([0-9]*\); torn: \([0-9]*\), \([0-9]*\).*/\1 \2 \3 \4 \5 \6/'; }
set -- $(rates "$lw") - - - - - -; lw1=$1 lw8=$2 lwl1=$3 lwl8=$4 lwt1=$5 lwt8=$6
set -- $(rates "$pl") - - - - - -; pl1=$1 pl8=$2 pll1=$3 pll8=$4 plt1=$5 plt8=$6
hmed=$(num "$hang" median); hworst=$(num "$hang" worst)
kl=$(pick "$hang" '^kill-and-log'); klmed=$(num "$kl" median); klworst=$(num "$kl" worst); hratio=$(num "$hang" 'median:')
kmed=$(num "$kill" median); kworst=$(num "$kill" worst); kgone=$(echo "$kill" | sed -n 's/.*within 5 s: \([0-9]*\).*/\1/p')
perline=$(pick "$logout" '^per line' | sed 's/.*LogWrite \([0-9.]*\); plain open-append-close \([0-9.]*\); .*folder \([0-9.]*\), clock and date\/time text \([0-9.]*\).*/\1 \2 \3 \4/')
set -- $perline - - - -; us_log=$1 us_plain=$2 us_dir=$3 us_clock=$4
dlast=$(pick "$drift" 'shipped build' | sed 's/.*drift \([-+0-9.]*\) ms.*/\1/')
dmean=$(pick "$drift" 'shipped build' | sed 's/.*mean cycle \([0-9.]*\) ms.*/\1/')
dlate=$(pick "$drift" 'shipped build' | sed 's/.*worst lateness of a value \([0-9.]*\) ms.*/\1/')
dover=$(pick "$drift" 'minus true' | sed 's/.*: from \(.*\)/\1/')
ddisc=$(pick "$drift" '^disconnect' | sed 's/.*MprAdminPortDisconnect at \([0-9.]*\) ms.*/\1/')
ddelta=$(pick "$drift" '^disconnect' | sed 's/.*ms: \([-+0-9.]*\) ms.*/\1/')
dcycle=$(pick "$drift" '^disconnect' | sed 's/.*over the limit \([0-9.]*\) ms.*/\1/')
# The console's log view: the refresh after one line, and per log size the
# slowest WM_NULL answer of each phase, the first paint and the memory.
rline=$(pick "$cons" '^refresh after one line')
rms=$(echo "$rline" | sed 's/.*: \([0-9.]*\) ms (of it the refresh \([0-9.]*\) ms.*/\1/')
rown=$(echo "$rline" | sed 's/.*of it the refresh \([0-9.]*\) ms.*/\1/')
yline=$(pick "$cons" 'yardstick, a plain read')
yms=$(echo "$yline" | sed 's/.*client alone: \([0-9.]*\) ms (ratio \([0-9.]*\)).*/\1/')
yratio=$(echo "$yline" | sed 's/.*client alone: [0-9.]* ms (ratio \([0-9.]*\)).*/\1/')
vcell() { # size phase column -> that cell of the view table, numbers only
  echo "$cons" | awk -F'|' -v size="$1 MB" -v phase="$2" -v col="$3" '
    { s = $1; gsub(/^ +| +$/, "", s); p = $2; gsub(/^ +| +$/, "", p)
      if (s == size && p == phase) { v = $col; sub(/^ +/, "", v); split(v, w, " "); print w[1]; exit } }'; }
slowest() { echo "$(vcell "$1" start-up 3) / $(vcell "$1" clear 3) / $(vcell "$1" replaced 3) / $(vcell "$1" refresh 3)"; }
hi=$(echo "$hostidle" | sed 's/.*private memory \([0-9.]*\) MB.*/\1/')
hc=$(echo "$hostcall" | sed 's/.*private memory \([0-9.]*\) MB.*/\1/')
sd=$(stat -c %s dialgate.dll); sp=$(stat -c %s portwatch.exe)
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (b > 0) printf "%.2f", a / b; else print "-" }'; }

printf '%-58s | %-26s | %s\n' "figure" "measured" "yardstick (same run)"
printf '%-58s-+-%-26s-+-%s\n' "----------------------------------------------------------" "--------------------------" "------------------------------"
printf '%-58s | %-26s | %s\n' "log lines/s, 1 thread (lost, torn)" "LogWrite $lw1 ($lwl1, $lwt1)" "plain append $pl1 ($pll1, $plt1)"
printf '%-58s | %-26s | %s\n' "log lines/s, 8 threads (lost, torn)" "LogWrite $lw8 ($lwl8, $lwt8)" "plain append $pl8 ($pll8, $plt8)"
printf '%-58s | %-26s | %s\n' "per line, 1 thread, median (of it: CreateDirectoryA; clock)" "LogWrite $us_log us ($us_dir; $us_clock)" "plain append $us_plain us"
printf '%-58s | %-26s | %s\n' "hang-up latency, 500 hang-ups: median / worst" "$hmed / $hworst ms" "TerminateThread $kmed / $kworst ms (${kgone:-?} not gone)"
printf '%-58s | %-26s | %s\n' "hang-up beside a kill-and-log callback, in turns (ratio)" "$hmed ms (${hratio:-?})" "kill-and-log $klmed / $klworst ms"
printf '%-58s | %-26s | %s\n' "one-minute limit: MprAdminPortDisconnect after acceptance" "$ddisc ms ($ddelta ms)" "60000 ms"
printf '%-58s | %-26s | %s\n' "mean cycle: disconnect / 60; time-file values" "$dcycle ms; $dmean ms" "1000 ms"
printf '%-58s | %-26s | %s\n' "time file: last value late by; worst value late by" "$dlast ms; $dlate ms" "due at the end of its second"
printf '%-58s | %-26s | %s\n' "time file value minus true seconds left" "$dover" "0 s"
printf '%-58s | %-26s | %s\n' "console refresh after one line at 50 MB (x yardstick)" "$rms ms ($yratio x), own $rown ms" "plain read + client repaint $yms ms"
for mb in 1 10 50 200; do
  printf '%-58s | %-26s | %s\n' "console $mb MB, slowest WM_NULL: start/clear/replaced/refresh" "$(slowest "$mb") ms" "goal 50 ms"
done
printf '%-58s | %-26s | %s\n' "console first paint after shown: 0 / 1 / 10 / 50 / 200 MB" \
  "$(vcell 0 start-up 6) / $(vcell 1 start-up 6) / $(vcell 10 start-up 6) / $(vcell 50 start-up 6) / $(vcell 200 start-up 6) ms" "goal 100 ms"
printf '%-58s | %-26s | %s\n' "console private memory: 0 / 1 / 10 / 50 / 200 MB" \
  "$(vcell 0 start-up 7) / $(vcell 1 start-up 7) / $(vcell 10 start-up 7) / $(vcell 50 start-up 7) / $(vcell 200 start-up 7) MB" "goal at 50 MB: 12 MB + 4 B a line"
printf '%-58s | %-26s | %s\n' "rasstandin.exe (dialgate.dll loaded): idle / one call" "$hi / $hc MB" ""
printf '%-58s | %-26s | %s\n' "dialgate.dll / portwatch.exe size" "$sd / $sp bytes" ""
