# packaging/INSTALL.md gives, in its Russian and in its English half, the
# commands that msi_install_test.sh runs: install, upgrade, removal and
# rollback through the shipped dialgate-msi.cmd with this build's version, the
# exit codes, the backup of the administration DLLs, the emergency disable
# with regsvr32, the log folder made before its rights and the console's task
# without a time limit; and none of the earlier commands that overwrote the
# service's list of administration DLLs. No document (the guide, DOCS) has an
# msiexec command line of its own: typed at a prompt, msiexec is not waited
# for, and the exit code then shown is not its own.
#   cmake -DGUIDE=... -DVERSION=... "-DDOCS=a;b" -P CheckGuide.cmake
file(READ ${GUIDE} guide)
string(FIND "${guide}" "\n## English" english)
if(english LESS 0)
  message(FATAL_ERROR "${GUIDE} has no English half (## English)")
endif()
string(SUBSTRING "${guide}" 0 ${english} russian)
string(SUBSTRING "${guide}" ${english} -1 english)

set(plugin "\"C:\\Program Files\\dialgate\\dialgate.dll\"")
set(required
  "reg export HKLM\\SOFTWARE\\Microsoft\\RAS\\AdminDll \"%TEMP%\\AdminDll-before.reg\" /y /reg:64"
  "dialgate-msi.cmd install dialgate-${VERSION}-x64.msi"
  "dialgate-msi.cmd upgrade dialgate-${VERSION}-x64.msi"
  "dialgate-msi.cmd remove dialgate-${VERSION}-x64.msi"
  "dialgate-msi.cmd rollback dialgate-${VERSION}-x64.msi dialgate-"
  "| 3010 |" "| 1603 |" "| 1618 |"
  "regsvr32 ${plugin}"
  "regsvr32 /u ${plugin}"
  "net stop RemoteAccess"
  "net start RemoteAccess"
  "DISABLE_CHECK_WORK_TIME=1"
  "mkdir C:\\VE_DA\\LOGS\n"
  "schtasks /create /tn \"dialgate console\" /xml \"C:\\Program Files\\dialgate\\portwatch-task.xml\"")
set(forbidden "dial-in gatekeeper" "/v DLLPath" "/tr ")
set(failures "")
foreach(half russian english)
  foreach(text IN LISTS required)
    string(FIND "${${half}}" "${text}" at)
    if(at LESS 0)
      string(APPEND failures "\n  the ${half} half lacks: ${text}")
    endif()
  endforeach()
  foreach(text IN LISTS forbidden)
    string(FIND "${${half}}" "${text}" at)
    if(NOT at LESS 0)
      string(APPEND failures "\n  the ${half} half still has: ${text}")
    endif()
  endforeach()
endforeach()
foreach(doc IN LISTS GUIDE DOCS)
  file(READ ${doc} text)
  if(text MATCHES "(^|\n)[ \t]*msiexec[ .]")
    string(APPEND failures "\n  ${doc} has an msiexec command line: give dialgate-msi.cmd instead")
  endif()
endforeach()
if(failures)
  message(FATAL_ERROR "${GUIDE}:${failures}")
endif()
message(STATUS "INSTALL.md gives the tested commands in both languages (version ${VERSION})")
