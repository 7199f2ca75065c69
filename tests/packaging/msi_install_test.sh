#!/bin/bash
# Installs the x64 MSI into a Wine prefix of its own, checks the files, the
# plug-in's registration and the shortcut, starts the stand-in remote-access
# service when there is one, then uninstalls and checks that only the
# administrator's own files are left; installs again over the administrator's
# configuration, which must stay as it is. With a later version's installer,
# installs that over the earlier one as a major upgrade, refuses the way back
# and uninstalls it.
#   msi_install_test.sh MSI BIN_DIR WINE_RUN PREFIX WITH_CONSOLE(0|1) WITH_RASSTANDIN(0|1)
#                       [NEXT_MSI NEXT_BIN_DIR]
set -uo pipefail
msi=$1 bin=$2 wine_run=$3 prefix=$4 with_console=$5 with_ras=$6
next_msi=${7:-} next_bin=${8:-}

failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
pass() { echo "ok: $*"; }
wine_() { WINEDEBUG=-all "$wine_run" "$prefix" "$@"; }
cp1251() { printf '%s' "$1" | iconv -f utf-8 -t cp1251; }
# The value of a registry value in the 64-bit view, or nothing.
reg_value() {
  wine_ reg query "$1" /v "$2" /reg:64 2>/dev/null | tr -d '\r' |
    sed -n "s/^ *$2 \{1,\}REG_[A-Z_]* \{1,\}//p"
}

[ -f "$msi" ] || { echo "FAIL: no installer at $msi"; exit 1; }

# A fresh prefix every run: nothing of an earlier run can make a check pass.
rm -rf "$prefix" "$prefix.lock"
trap 'WINEPREFIX="$prefix" wineserver -k 2>/dev/null; true' EXIT

c="$prefix/drive_c"
app="$c/Program Files/dialgate"
msi_win="Z:${msi//\//\\}"

# Component attributes of the configuration: permanent (16) and never
# overwritten (16384), so an administrator's file survives upgrades.
if command -v msiinfo >/dev/null; then
  attrs=$(msiinfo export "$msi" Component | awk -F'\t' '$1 == "Config" { print $4 }')
  if [ -n "$attrs" ] && (( (attrs & 16) && (attrs & 16384) )); then
    pass "qv_config.ini component is permanent and never overwritten ($attrs)"
  else
    fail "qv_config.ini component attributes are '$attrs'"
  fi
fi

echo "== install"
wine_ msiexec /i "$msi_win" /qn
rc=$?
WINEPREFIX="$prefix" wineserver -w
[ $rc -eq 0 ] && pass "msiexec /i exit code 0" || fail "msiexec /i exit code $rc"

expect_same() {  # installed file, built file
  if [ ! -s "$1" ]; then fail "missing or empty: ${1#$c/}"
  elif cmp -s "$1" "$2"; then pass "installed ${1#$c/}"
  else fail "${1#$c/} differs from $2"; fi
}
expect_same "$app/dialgate.dll" "$bin/dialgate.dll"
expect_same "$app/qv_admin.chm" "$bin/qv_admin.chm"
expect_same "$app/WINDOWS.md" "$(dirname "$0")/../../docs/WINDOWS.md"
expect_same "$app/WINDOWS.ru.md" "$(dirname "$0")/../../docs/WINDOWS.ru.md"
expect_same "$app/qv_config.ini" "$(dirname "$0")/../../packaging/qv_config.ini"
if [ "$with_console" = 1 ]; then
  expect_same "$app/portwatch.exe" "$bin/portwatch.exe"
  shortcut=$(find "$c" -iname 'portwatch.lnk' | head -n 1)
  [ -n "$shortcut" ] && pass "Start-menu shortcut ${shortcut#$c/}" || fail "no Start-menu shortcut portwatch.lnk"
else
  echo "note: no console in this build; portwatch.exe and its shortcut are not checked"
fi
[ -d "$c/VE_DA/LOGS" ] && pass "log folder C:\\VE_DA\\LOGS" || fail "no log folder C:\\VE_DA\\LOGS"

key='HKLM\SOFTWARE\Microsoft\RAS\AdminDll'
dllpath=$(reg_value "$key" DLLPath)
[ "$dllpath" = 'C:\Program Files\dialgate\dialgate.dll' ] && pass "DLLPath = $dllpath" ||
  fail "DLLPath is '$dllpath'"
display=$(reg_value "$key" DisplayName)
[ -n "$display" ] && pass "DisplayName = $display" || fail "no DisplayName"

if [ "$with_ras" = 1 ]; then
  echo "== the stand-in remote-access service loads the installed plug-in"
  # Wine ends services together with the last ordinary Wine process: keep a
  # command prompt waiting on its input meanwhile.
  exec 7> >(wine_ cmd >/dev/null 2>&1)
  wine_ "Z:${bin//\//\\}\\rasstandin.exe" install || fail "rasstandin install"
  wine_ net start RemoteAccess >/dev/null 2>&1
  loaded=$(cp1251 "MprAdminInitializeDll - библиотека загружена")
  from=$(cp1251 'Загрузка из файла конфигурации: C:\Program Files\dialgate\qv_config.ini')
  found=0
  for _ in $(seq 1 60); do
    if LC_ALL=C grep -qaF "$loaded" "$c"/VE_DA/LOGS/*_log.txt 2>/dev/null; then found=1; break; fi
    sleep 0.5
  done
  [ $found = 1 ] && pass "the log shows the plug-in loaded" || fail "no line 'MprAdminInitializeDll - библиотека загружена' in C:\\VE_DA\\LOGS"
  LC_ALL=C grep -qaF "$from" "$c"/VE_DA/LOGS/*_log.txt 2>/dev/null &&
    pass "the plug-in read the installed qv_config.ini" || fail "the log does not name the installed qv_config.ini"
  wine_ net stop RemoteAccess >/dev/null 2>&1
  unloaded=$(cp1251 "MprAdminTerminateDll - библиотека выгружена")
  found=0
  for _ in $(seq 1 60); do
    if LC_ALL=C grep -qaF "$unloaded" "$c"/VE_DA/LOGS/*_log.txt 2>/dev/null; then found=1; break; fi
    sleep 0.5
  done
  [ $found = 1 ] && pass "the log shows the plug-in unloaded" || fail "no line 'MprAdminTerminateDll - библиотека выгружена'"
  wine_ "Z:${bin//\//\\}\\rasstandin.exe" remove || fail "rasstandin remove"
  exec 7>&-
else
  echo "note: no rasstandin in this build; the plug-in is not started from the installed files"
fi

echo "== the administrator's own files, then uninstall"
printf '; edited by the administrator\r\n' >> "$app/qv_config.ini"
edited=$(md5sum < "$app/qv_config.ini")
printf 'admin\r\n' > "$c/VE_DA/LOGS/admin-notes.txt"

wine_ msiexec /x "$msi_win" /qn
rc=$?
WINEPREFIX="$prefix" wineserver -w
[ $rc -eq 0 ] && pass "msiexec /x exit code 0" || fail "msiexec /x exit code $rc"

for f in dialgate.dll qv_admin.chm portwatch.exe WINDOWS.md WINDOWS.ru.md; do
  [ -e "$app/$f" ] && fail "$f left after uninstall" || pass "$f removed"
done
[ -f "$app/qv_config.ini" ] && [ "$(md5sum < "$app/qv_config.ini")" = "$edited" ] &&
  pass "the administrator's qv_config.ini kept unchanged" || fail "the administrator's qv_config.ini was not kept"
[ -z "$(find "$c" -iname 'portwatch.lnk')" ] && pass "shortcut removed" || fail "shortcut left"
[ -z "$(reg_value "$key" DLLPath)" ] && pass "DLLPath removed" || fail "DLLPath left"
[ -z "$(reg_value "$key" DisplayName)" ] && pass "DisplayName removed" || fail "DisplayName left"
wine_ reg query 'HKLM\SOFTWARE\dialgate' /reg:64 >/dev/null 2>&1 && fail "HKLM\\SOFTWARE\\dialgate left" ||
  pass "no HKLM\\SOFTWARE\\dialgate"
wine_ reg query 'HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall' /s /reg:64 2>/dev/null |
  grep -q 'dialgate' && fail "the product is still registered" || pass "the product is no longer registered"

# Whatever is left under the two folders must be the administrator's.
left=$( (cd "$c" && find "Program Files/dialgate" VE_DA -type f 2>/dev/null) | sort)
unexpected=$(printf '%s\n' "$left" | grep -v -e '^Program Files/dialgate/qv_config.ini$' \
  -e '^VE_DA/LOGS/admin-notes.txt$' -e '^VE_DA/LOGS/[^/]*_log.txt$' -e '^$' || true)
[ -z "$unexpected" ] && pass "left: $(printf '%s' "$left" | tr '\n' ' ')" || fail "left after uninstall: $unexpected"

echo "== installing again over the administrator's qv_config.ini, as an upgrade does"
wine_ msiexec /i "$msi_win" /qn
rc=$?
WINEPREFIX="$prefix" wineserver -w
[ $rc -eq 0 ] && pass "msiexec /i exit code 0" || fail "msiexec /i exit code $rc"
expect_same "$app/dialgate.dll" "$bin/dialgate.dll"
[ "$(md5sum < "$app/qv_config.ini")" = "$edited" ] && pass "the administrator's qv_config.ini not replaced" ||
  fail "the administrator's qv_config.ini was replaced by the sample"
wine_ msiexec /x "$msi_win" /qn
WINEPREFIX="$prefix" wineserver -w
[ ! -e "$app/dialgate.dll" ] && [ "$(md5sum < "$app/qv_config.ini")" = "$edited" ] &&
  pass "second uninstall: program gone, configuration kept" || fail "second uninstall"

# msiexec with its arguments, quiet; returns once the prefix has settled, with msiexec's code.
msiexec_() {
  wine_ msiexec "$@" /qn
  local rc=$?
  WINEPREFIX="$prefix" wineserver -w
  return $rc
}
# The products this prefix's installer has registered, as "name|version" lines.
products() {
  wine_ reg query 'HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall' /s /reg:64 2>/dev/null | tr -d '\r' |
    awk '/^HKEY/ { if (n ~ /dialgate/) print n "|" v; n = ""; v = "" }
         $1 == "DisplayName" { n = $0; sub(/^ *DisplayName +REG_SZ +/, "", n) }
         $1 == "DisplayVersion" { v = $3 }
         END { if (n ~ /dialgate/) print n "|" v }'
}
# The Version column of one file in an installer's file table.
file_version() { msiinfo export "$1" File | awk -F'\t' -v f="$2" '$1 == f { print $5 }'; }

if [ -n "$next_msi" ]; then
  echo "== upgrade: the later version installs over the earlier one"
  [ -f "$next_msi" ] || fail "no later installer at $next_msi"
  next_win="Z:${next_msi//\//\\}"
  if command -v msiinfo >/dev/null; then
    for f in dialgate.dll portwatch.exe; do
      [ "$with_console" = 1 ] || [ "$f" = dialgate.dll ] || continue
      v1=$(file_version "$msi" "$f") v2=$(file_version "$next_msi" "$f")
      [ -n "$v1" ] && [ -n "$v2" ] && pass "file versions of $f: $v1, then $v2" ||
        fail "file versions of $f missing: '$v1', '$v2'"
    done
    if [ "$with_console" = 1 ]; then
      v1=$(file_version "$msi" portwatch.exe) v2=$(file_version "$next_msi" portwatch.exe)
      [ "$v1" != "$v2" ] && [ "$(printf '%s\n%s\n' "$v1" "$v2" | sort -V | tail -n 1)" = "$v2" ] &&
        pass "the later console's file version is higher" || fail "console file versions '$v1', then '$v2'"
    fi
  fi
  msiexec_ /i "$msi_win"
  printf '; edited before the upgrade\r\n' >> "$app/qv_config.ini"
  edited=$(md5sum < "$app/qv_config.ini")
  before=$(products)
  [ "$(printf '%s\n' "$before" | grep -c .)" = 1 ] && pass "one product before the upgrade: $before" ||
    fail "products before the upgrade: $before"

  msiexec_ /i "$next_win"
  rc=$?
  [ $rc -eq 0 ] && pass "msiexec /i of the later version exit code 0" || fail "msiexec /i of the later version exit code $rc"
  after=$(products)
  [ "$(printf '%s\n' "$after" | grep -c .)" = 1 ] && [ "$after" != "$before" ] &&
    pass "one product after the upgrade, the later one: $after" || fail "products after the upgrade: $after"
  expect_same "$app/dialgate.dll" "$bin/dialgate.dll"
  if [ "$with_console" = 1 ]; then
    expect_same "$app/portwatch.exe" "$next_bin/portwatch.exe"
    cmp -s "$app/portwatch.exe" "$bin/portwatch.exe" && fail "portwatch.exe is still the earlier one"
  fi
  [ "$(md5sum < "$app/qv_config.ini")" = "$edited" ] && pass "the administrator's qv_config.ini kept by the upgrade" ||
    fail "the upgrade replaced the administrator's qv_config.ini"
  dllpath=$(reg_value "$key" DLLPath)
  [ "$dllpath" = 'C:\Program Files\dialgate\dialgate.dll' ] && pass "DLLPath after the upgrade = $dllpath" ||
    fail "DLLPath after the upgrade is '$dllpath'"

  echo "== the earlier version does not install over the later one"
  msiexec_ /i "$msi_win"
  rc=$?
  [ $rc -ne 0 ] && pass "msiexec /i of the earlier version refused ($rc)" || fail "the earlier version installed over the later one"
  [ "$(products)" = "$after" ] && pass "still only the later product" || fail "products after the downgrade: $(products)"
  if [ "$with_console" = 1 ]; then
    expect_same "$app/portwatch.exe" "$next_bin/portwatch.exe"
  fi

  msiexec_ /x "$next_win"
  rc=$?
  [ $rc -eq 0 ] && [ ! -e "$app/dialgate.dll" ] && [ ! -e "$app/portwatch.exe" ] && [ -z "$(products)" ] &&
    [ "$(md5sum < "$app/qv_config.ini")" = "$edited" ] &&
    pass "the later version uninstalls, configuration kept" || fail "uninstalling the later version ($rc): $(products)"
fi

echo "== $failures failure(s)"
[ $failures -eq 0 ]
