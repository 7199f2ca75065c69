#!/bin/bash
# The x64 MSI as the guide (INSTALL.md) has the administrator use it, through
# the commands shipped beside it (dialgate-msi.cmd, in Wine's cmd), in a Wine
# prefix of its own, on a server that already has two other administration
# DLLs (copies of the recording DLL recadmin.dll) and the stand-in remote-access
# service running with them:
#   install; upgrade to the later version with the service and a console
#   running; the way back refused; rollback (remove the later version, install
#   the earlier); emergency disable with regsvr32 /u and back; uninstall; then
#   install over another build of the same version and uninstall, on a machine
#   with no other administration DLL.
# The log folder's rights admit only LocalSystem and the administrators.
# Every msiexec must end with 0, as the commands print it and end, and leave
# no pending file rename; a refused one must print its own code, not 0; a
# rollback whose removal fails installs nothing; the service runs again
# afterwards with the plug-in loaded (its banner names the version) or, after
# removal, without it; the two other DLLs keep their place and order;
# qv_config.ini stays.
#   msi_install_test.sh MSI BIN_DIR WINE_RUN PREFIX WITH_CONSOLE(0|1) WITH_RASSTANDIN(0|1)
#                       [NEXT_MSI NEXT_BIN_DIR]
set -uo pipefail
msi=$1 bin=$2 wine_run=$3 prefix=$4 with_console=$5 with_ras=$6
next_msi=${7:-} next_bin=${8:-}

failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
pass() { echo "ok: $*"; }
check() {  # description, then a command that must succeed
  local what=$1
  shift
  if "$@"; then pass "$what"; else fail "$what"; fi
}
wine_() { WINEDEBUG=-all "$wine_run" "$prefix" "$@"; }
winpath() { local p=${1//\//\\}; echo "Z:$p"; }
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
plugin='C:\Program Files\dialgate\dialgate.dll'
key='HKLM\SOFTWARE\Microsoft\RAS\AdminDll'
source_key='HKLM\SYSTEM\CurrentControlSet\Services\EventLog\Application\dialgate'
others='C:\billing\acct.dll;C:\radius\rad.dll'
logs="$c/VE_DA/LOGS"

# The shipped commands as the guide runs them: ACTION MSI [MSI]. $codes gets
# the exit codes they print, one per msiexec, $status the script's own (Wine
# hands on its low byte only: 3010 shows as 194, 1603 as 67).
commands="$(winpath "$(dirname "$msi")")\\dialgate-msi.cmd"
msiexec_() {
  local action=$1 out
  shift
  out=$(wine_ cmd /c "$commands" "$action" "$@" 2>&1 | tr -d '\r')
  status=$?
  codes=$(sed -n 's/^Exit code \([0-9]*\):.*/\1/p' <<<"$out" | tr '\n' ' ')
  last_output=$out
}
no_pending_rename() {
  [ -z "$(wine_ reg query 'HKLM\SYSTEM\CurrentControlSet\Control\Session Manager' \
            /v PendingFileRenameOperations 2>/dev/null | tr -d '\r' | grep PendingFileRenameOperations)" ]
}
expect_msiexec() {  # description, the exit codes to be printed, then ACTION MSI [MSI]
  local what=$1 expected=$2
  shift 2
  msiexec_ "$@"
  [ "$codes" = "$expected " ] && [ "$status" = 0 ] && pass "$what: exit code(s) $codes" ||
    fail "$what: printed '$codes', ended with $status: $last_output"
  check "$what: no file rename left for a restart" no_pending_rename
}
expect_same() {  # installed file, built file
  if [ ! -s "$1" ]; then fail "missing or empty: ${1#$c/}"
  elif cmp -s "$1" "$2"; then pass "installed ${1#$c/}"
  else fail "${1#$c/} differs from $2"; fi
}
expect_value() {  # key, name, expected
  local v
  v=$(reg_value "$1" "$2")
  [ "$v" = "$3" ] && pass "$2 = '$v'" || fail "$2 is '$v', expected '$3'"
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

# A process of ours has ended (an unreaped one counts as ended).
process_gone() {
  local state
  state=$(ps -o stat= -p "$1" 2>/dev/null)
  [ -z "$state" ] || [[ $state == Z* ]]
}
# The stand-in service: its state, and what it has loaded.
ras() { wine_ "$(winpath "$bin")\\rasstandin.exe" "$@" 2>/dev/null | tr -d '\r'; }
ras_running() { wine_ sc query RemoteAccess 2>/dev/null | grep RUNNING >/dev/null; }
ras_loaded() { ras state | sed -n 's/^admin-dll //p'; }
expect_loaded() {  # what the running service must have loaded
  if ! ras_running; then fail "RemoteAccess is not running"; return; fi
  local loaded
  loaded=$(ras_loaded)
  [ "$loaded" = "$1" ] && pass "RemoteAccess runs with $loaded" || fail "RemoteAccess runs with '$loaded', expected '$1'"
}
# Lines of today's log that mark a load: the banner of the given version,
# and the line the load ends with.
loads() { LC_ALL=C grep -ac "$(cp1251 'MprAdminInitializeDll - библиотека загружена')" "$logs"/*_log.txt 2>/dev/null; }
last_banner() {
  LC_ALL=C grep -a "$(cp1251 'dialgate.dll версии ')" "$logs"/*_log.txt 2>/dev/null | tail -n 1 |
    iconv -f cp1251 -t utf-8 | sed 's/.*dialgate.dll версии \([0-9.]*\):.*/\1/'
}
expect_loaded_version() {  # version; the load count before the step
  local n=0
  for _ in $(seq 1 60); do
    n=$(loads)
    [ "${n:-0}" -gt "$2" ] && break
    sleep 0.5
  done
  [ "${n:-0}" -gt "$2" ] && [ "$(last_banner)" = "$1" ] && pass "the plug-in $1 was loaded (its banner)" ||
    fail "no load of the plug-in $1 in the log (loads $2 -> $n, last banner '$(last_banner)')"
}

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

echo "== a server with two other administration DLLs"
# The prefix is made by its first use, before any file is put into it.
wine_ reg add "$key" /v DisplayName /t REG_SZ /d Billing /f /reg:64 >/dev/null
mkdir -p "$c/billing" "$c/radius"
cp "$bin/recadmin.dll" "$c/billing/acct.dll"
cp "$bin/recadmin.dll" "$c/radius/rad.dll"
wine_ reg add "$key" /v DLLPath /t REG_SZ /d "$others" /f /reg:64 >/dev/null
if [ "$with_ras" = 1 ]; then
  # Wine ends services together with the last ordinary Wine process: keep a
  # command prompt waiting on its input meanwhile.
  exec 7> >(wine_ cmd >/dev/null 2>&1)
  ras install >/dev/null || fail "rasstandin install"
  wine_ net start RemoteAccess >/dev/null 2>&1
  expect_loaded "$others"
else
  echo "note: no rasstandin in this build; the service is not started"
fi

echo "== install"
before=$(loads)
expect_msiexec "install" 0 install "$(winpath "$msi")"
expect_same "$app/dialgate.dll" "$bin/dialgate.dll"
expect_same "$app/qv_admin.chm" "$bin/qv_admin.chm"
expect_same "$app/qv_config.ini" "$(dirname "$0")/../../packaging/qv_config.ini"
for f in INSTALL.md WINDOWS.md WINDOWS.ru.md; do
  [ -s "$app/$f" ] && pass "installed $f" || fail "no $f"
done
if [ "$with_console" = 1 ]; then
  expect_same "$app/portwatch.exe" "$bin/portwatch.exe"
  shortcut=$(find "$c" -iname 'portwatch.lnk' | head -n 1)
  [ -n "$shortcut" ] && pass "Start-menu shortcut ${shortcut#$c/}" || fail "no Start-menu shortcut portwatch.lnk"
  # The guide's command for the console at logon, with the installed task
  # (Wine's schtasks cannot show it again: its own copy is read instead).
  wine_ schtasks /create /tn "dialgate console" /xml 'C:\Program Files\dialgate\portwatch-task.xml' >/dev/null 2>&1 &&
    LC_ALL=C grep -q '<ExecutionTimeLimit>PT0S</ExecutionTimeLimit>' "$c/windows/system32/tasks/dialgate console" &&
    pass "schtasks /create /xml took the installed task, without a time limit" || fail "schtasks /create /xml of the installed task"
fi
[ -d "$logs" ] && pass "log folder C:\\VE_DA\\LOGS" || fail "no log folder C:\\VE_DA\\LOGS"
# The logs hold the callers' passwords. (Wine shows the rights as the folder's
# Unix mode: LocalSystem, the owner, and Everyone for the others' bits.)
if rights=$(wine_ "$(winpath "$bin")\\folder_rights.exe" 'C:\VE_DA\LOGS' | tr -d '\r'); then
  pass "only LocalSystem, the administrators and the owner may open C:\\VE_DA\\LOGS: $rights"
else
  fail "others may open C:\\VE_DA\\LOGS: $rights"
fi
expect_value "$key" DLLPath "$others;$plugin"
expect_value "$key" DisplayName Billing
expect_value "$source_key" EventMessageFile "$plugin"
if [ "$with_ras" = 1 ]; then
  expect_loaded "$others;$plugin"
  expect_loaded_version "$(file_version "$msi" dialgate.dll | cut -d. -f1-3)" "${before:-0}"
  LC_ALL=C grep -qaF "$(cp1251 'Загрузка из файла конфигурации: C:\Program Files\dialgate\qv_config.ini')" \
    "$logs"/*_log.txt && pass "the plug-in read the installed qv_config.ini" ||
    fail "the log does not name the installed qv_config.ini"
fi

# The administrator's edits: the working-hours watch on, round the clock, so
# that a console would start the service again whenever it finds it stopped.
sed -i 's/^DISABLE_CHECK_WORK_TIME=.*\r$/DISABLE_CHECK_WORK_TIME=0\r/; s/^TIME_BEGIN=.*\r$/TIME_BEGIN=0\r/;
        s/^TIME_END=.*\r$/TIME_END=0\r/' "$app/qv_config.ini"
printf '; edited by the administrator\r\n' >> "$app/qv_config.ini"
edited=$(md5sum < "$app/qv_config.ini")
config_kept() { [ "$(md5sum < "$app/qv_config.ini")" = "$edited" ]; }

if [ -n "$next_msi" ]; then
  echo "== upgrade with the service and a console running"
  [ -f "$next_msi" ] || fail "no later installer at $next_msi"
  if command -v msiinfo >/dev/null; then
    for f in dialgate.dll portwatch.exe; do
      [ "$with_console" = 1 ] || [ "$f" = dialgate.dll ] || continue
      v1=$(file_version "$msi" "$f") v2=$(file_version "$next_msi" "$f")
      [ -n "$v1" ] && [ "$v1" != "$v2" ] && [ "$(printf '%s\n%s\n' "$v1" "$v2" | sort -V | tail -n 1)" = "$v2" ] &&
        pass "file versions of $f: $v1, then $v2" || fail "file versions of $f: '$v1', then '$v2'"
    done
  fi
  before_products=$(products)
  [ "$(printf '%s\n' "$before_products" | grep -c .)" = 1 ] && pass "one product before the upgrade: $before_products" ||
    fail "products before the upgrade: $before_products"
  console_pid=""
  if [ "$with_console" = 1 ]; then
    wine_ "C:\\Program Files\\dialgate\\portwatch.exe" >/dev/null 2>&1 &
    console_pid=$!
    # The console listens for the installer from before its window shows;
    # uidriver answers 3 until there is a window.
    shown=3
    for _ in $(seq 1 120); do
      wine_ "$(winpath "$bin")\\uidriver.exe" wait 304 "RAS сервер: включен" 30000 >/dev/null 2>&1
      shown=$?
      [ $shown -eq 3 ] || break
      sleep 0.5
    done
    [ $shown -eq 0 ] && pass "the console runs and shows the service running" || fail "the console did not come up ($shown)"
  fi
  before=$(loads)
  expect_msiexec "upgrade to the later version" 0 upgrade "$(winpath "$next_msi")"
  after_products=$(products)
  [ "$(printf '%s\n' "$after_products" | grep -c .)" = 1 ] && [ "$after_products" != "$before_products" ] &&
    pass "one product after the upgrade, the later one: $after_products" ||
    fail "products after the upgrade: $after_products"
  expect_same "$app/dialgate.dll" "$next_bin/dialgate.dll"
  if [ -n "$console_pid" ]; then
    expect_same "$app/portwatch.exe" "$next_bin/portwatch.exe"
    # Its Wine process has gone once the installer's step saw it end.
    check "the package closed the running console" process_gone "$console_pid"
  fi
  check "the administrator's qv_config.ini kept by the upgrade" config_kept
  expect_value "$key" DLLPath "$others;$plugin"
  if [ "$with_ras" = 1 ]; then
    expect_loaded "$others;$plugin"
    expect_loaded_version "$(file_version "$next_msi" dialgate.dll | cut -d. -f1-3)" "${before:-0}"
  fi

  echo "== the earlier version does not install over the later one"
  msiexec_ install "$(winpath "$msi")"
  [ "$codes" = "1603 " ] && [ "$status" = $((1603 & 255)) ] && pass "the earlier version refused, exit code $codes" ||
    fail "the earlier version over the later one: printed '$codes', ended with $status"
  [ "$(products)" = "$after_products" ] && pass "still only the later product" ||
    fail "products after the downgrade: $(products)"

  echo "== rollback: the later version removed, the earlier installed"
  before=$(loads)
  expect_msiexec "rollback" "0 0" rollback "$(winpath "$next_msi")" "$(winpath "$msi")"
  [ "$(products)" != "$after_products" ] && pass "the later version is gone: $(products)" ||
    fail "the later version is still there: $(products)"
  expect_same "$app/dialgate.dll" "$bin/dialgate.dll"
  check "the administrator's qv_config.ini kept through the rollback" config_kept
  expect_value "$key" DLLPath "$others;$plugin"
  if [ "$with_ras" = 1 ]; then
    expect_loaded "$others;$plugin"
    expect_loaded_version "$(file_version "$msi" dialgate.dll | cut -d. -f1-3)" "${before:-0}"
  fi
fi

echo "== emergency disable with regsvr32 /u, and back"
wine_ regsvr32 /s /u "$plugin"
rc=$?
[ $rc -eq 0 ] && pass "regsvr32 /u exit code 0" || fail "regsvr32 /u exit code $rc"
expect_value "$key" DLLPath "$others"
expect_value "$key" DisplayName Billing
if [ "$with_ras" = 1 ]; then
  wine_ net stop RemoteAccess >/dev/null 2>&1
  wine_ net start RemoteAccess >/dev/null 2>&1
  expect_loaded "$others"
fi
wine_ regsvr32 /s "$plugin"
rc=$?
[ $rc -eq 0 ] && pass "regsvr32 exit code 0" || fail "regsvr32 exit code $rc"
expect_value "$key" DLLPath "$others;$plugin"

echo "== uninstall"
printf 'admin\r\n' > "$logs/admin-notes.txt"
expect_msiexec "remove" 0 remove "$(winpath "$msi")"
for f in dialgate.dll qv_admin.chm portwatch.exe portwatch-task.xml INSTALL.md WINDOWS.md WINDOWS.ru.md; do
  [ -e "$app/$f" ] && fail "$f left after uninstall" || pass "$f removed"
done
check "the administrator's qv_config.ini kept by the uninstall" config_kept
[ -z "$(find "$c" -iname 'portwatch.lnk')" ] && pass "shortcut removed" || fail "shortcut left"
expect_value "$key" DLLPath "$others"
expect_value "$key" DisplayName Billing
expect_value "$source_key" EventMessageFile ""
[ "$with_ras" = 1 ] && expect_loaded "$others"
wine_ reg query 'HKLM\SOFTWARE\dialgate' /reg:64 >/dev/null 2>&1 && fail "HKLM\\SOFTWARE\\dialgate left" ||
  pass "no HKLM\\SOFTWARE\\dialgate"
[ -z "$(products)" ] && pass "the product is no longer registered" || fail "the product is still registered"
# Whatever is left under the two folders must be the administrator's.
left=$( (cd "$c" && find "Program Files/dialgate" VE_DA -type f 2>/dev/null) | sort)
unexpected=$(printf '%s\n' "$left" | grep -v -e '^Program Files/dialgate/qv_config.ini$' \
  -e '^VE_DA/LOGS/admin-notes.txt$' -e '^VE_DA/LOGS/[^/]*_log.txt$' -e '^$' || true)
[ -z "$unexpected" ] && pass "left: $(printf '%s' "$left" | tr '\n' ' ')" || fail "left after uninstall: $unexpected"

echo "== a machine with no other administration DLL, and another build of this version on it"
wine_ reg delete "$key" /f /reg:64 >/dev/null 2>&1
# Another build of the same version: the same package with a product code of
# its own, as every build of the installer gets one.
other_build=$prefix-other-build.msi
cp "$msi" "$other_build"
msibuild "$other_build" -q "UPDATE \`Property\` SET \`Value\` = '{0D1A7C3E-5B2F-4E68-9A41-7C2E5D8B3F06}' WHERE \`Property\` = 'ProductCode'"
expect_msiexec "install another build of this version" 0 install "$(winpath "$other_build")"
expect_msiexec "install" 0 install "$(winpath "$msi")"
[ "$(products | grep -c .)" = 1 ] && pass "the other build was replaced: $(products)" ||
  fail "products beside each other: $(products | tr '\n' ' ')"
rm -f "$other_build"
expect_value "$key" DLLPath "$plugin"
expect_value "$key" DisplayName dialgate
expect_msiexec "remove" 0 remove "$(winpath "$msi")"
expect_value "$key" DLLPath ""
expect_value "$key" DisplayName ""
[ "$with_ras" = 1 ] && expect_loaded none

echo "== a rollback whose removal fails installs nothing"
msiexec_ rollback 'C:\no-such-package.msi' "$(winpath "$msi")"
[ "$(printf '%s' "$codes" | wc -w)" = 1 ] && [ "$codes" != "0 " ] && [ -z "$(products)" ] &&
  pass "the rollback stopped after its removal printed $codes" ||
  fail "rollback with nothing to remove: printed '$codes', products '$(products)'"

[ "$with_ras" = 1 ] && { ras remove >/dev/null; exec 7>&-; }
echo "== $failures failure(s)"
[ $failures -eq 0 ]
